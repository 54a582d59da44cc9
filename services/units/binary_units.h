// Numbered binary file units: a plain byte stream per unit, no record marks.
//
// No operation returns a status: every failure is handed to the diagnostics,
// which report it and end the process. Reads are fetched in large blocks;
// writes to a disk file are gathered and reach the file before any report,
// before every way of ending the process, and when the unit is closed or
// rewound, so the file always ends up as if every request had been written
// on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "services/units/transfer_item.h"

namespace quadrel {

enum class UnitAction { read, write };
enum class UnitStatus { old, unknown };

struct OpenParameters {
  UnitAction action;
  UnitStatus status;
};

// Connects `unit` to the file its name field names.
void openUnit(int unit, std::string_view nameField, OpenParameters parameters);

// Moves to byte 0; the next write cuts the file where it ends.
void rewindUnit(int unit);

// Fills the items from the file, in order.
void readStatement(int unit, std::span<const TransferItem> items);

// Appends the items' bytes to the file.
void writeStatement(int unit, std::span<const TransferItem> items);

// True when every byte of the file has been consumed. Never reads or fails.
bool unitAtEnd(int unit);

// The bytes of a regular file not yet handed out by read requests; nothing
// for a pipe, a device or a console, whose length is not known ahead.
// Never reads or fails.
std::optional<std::uint64_t> bytesLeftInUnit(int unit);

// Disconnects the unit and closes its file; an unconnected unit is no failure.
void closeUnit(int unit);

// ---- Bulk transfers: exactly the statements they stand for, faster ------

// Performs `frames` times: a read of `half` from `first`, a read of `half`
// from `second`, and one write of both images to `output`.
void transferFrames(int first, int second, int output, std::span<const ItemKind> half, std::int32_t frames);

// Performs, while `input` is not at its end, a one-byte read from `input`
// and a one-byte write of it to `output`.
void copyUntilEnd(int input, int output);

// ---- For the diagnostics ------------------------------------------------

// Writes the completed requests of every binary unit to its file.
void flushBinaryUnits();

// Closes every connected binary unit in table order, skipping a unit that
// another thread holds; a failed close is reported.
void closeBinaryUnitsAtExit();

// Saves completed output from a signal handler: async-signal-safe.
void flushBinaryUnitsFromSignal();

}  // namespace quadrel
