// Numbered binary file units: a plain byte stream per unit, no record marks.
//
// No operation returns a status: every failure is handed to the diagnostics,
// which report it and end the process. Reads are fetched in large blocks;
// writes to a disk file are gathered and reach the file before any report,
// before every way of ending the process, and when the unit is closed or
// rewound, so the file always ends up as if every request had been written
// on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "services/units/byte_order.h"
#include "services/units/transfer_item.h"

namespace quadrel {

// Reading needs an existing file; writing creates the file or replaces it.
enum class UnitAction { read, write };

// Connects `unit` to the file its name field names.
void openUnit(int unit, std::string_view nameField, UnitAction action);

// Moves to byte 0; the next write cuts the file where it ends.
void rewindUnit(int unit);

// Fills the items from the file, in order.
void readStatement(int unit, std::span<const TransferItem> items);

// Appends the items' bytes to the file.
void writeStatement(int unit, std::span<const TransferItem> items);

// The bytes written to output `unit` so far, when it is a regular file whose
// written bytes a later request can replace; nothing for a pipe, a device or
// a console. Never fails.
std::optional<std::uint64_t> writtenLength(int unit);

// Writes the items' bytes at `offset` of output `unit`, a regular file, over
// bytes written before, once every completed request has reached the file;
// the stream goes on where it was. The bytes go in one positional write, so
// an ending at any instant leaves either all of them or none. Fails with 38.
void writeStatementAt(int unit, std::uint64_t offset, std::span<const TransferItem> items);

// Ends the run as a read request past the end of input `unit` does, with
// "end-of-file during read": for data that ends before its file does, or
// that another input outlasts.
[[noreturn]] void failAtEndOfData(int unit);

// The bytes of a regular file not yet handed out by read requests; nothing
// for a pipe, a device or a console, whose length is not known ahead.
// Standard input redirected from a regular file counts as one. Never reads;
// fails with 39 when the system cannot tell the size.
std::optional<std::uint64_t> bytesLeftInUnit(int unit);

// Fills `into` with the bytes at `offset` of input `unit`, a regular file,
// counted from the unit's first byte, without moving its stream: false when
// the file ends first. A refused read fails with 39.
bool peekAt(int unit, std::uint64_t offset, std::span<std::byte> into);

// Hands out the next `count` bytes of input `unit` unread, as read requests
// that drop them would: a regular file of known length that holds them moves
// its position past them; any other file is read through. False when the
// file ends first, at its end. A refused read or move fails with 39.
bool skipInput(int unit, std::uint64_t count);

// Disconnects the unit and closes its file; an unconnected unit is no failure.
void closeUnit(int unit);

// ---- Lending: many requests at a time -------------------------------------
//
// A caller that moves many requests at once borrows the bytes an input unit
// has already fetched and the room left in an output unit's gathered
// output, and commits what it used: the file then holds exactly what the
// requests made one at a time would have left. Borrowed bytes are the
// file's own, unconverted, and stay valid until the next operation on the
// unit. No failure can happen between a borrow and its commit.

// The bytes of input `unit` fetched and not yet handed out; empty when none
// are left. Never reads.
std::span<const std::byte> borrowFetched(int unit);

// Hands out the first `count` borrowed bytes, as read requests for them would.
void commitFetched(int unit, std::size_t count);

// Refills input `unit` once its fetched bytes are all handed out: false when
// the file has nothing more (for a pipe: its writer has closed it). A
// refused read fails with 39.
bool fetchMore(int unit);

// Makes at least `least` bytes of input `unit` fetched and not yet handed
// out, in one piece, reading on while fewer are: false when the file ends
// first (what it held then stays fetched). `least` is at most 1 MiB. A
// refused read fails with 39.
bool fetchAtLeast(int unit, std::size_t least);

// Room for at least `least` bytes behind the output of `unit` that has not
// reached the file yet; what is gathered is written first when less is free.
std::span<std::byte> borrowRoom(int unit, std::size_t least);

// Puts the first `count` bytes of the room into the stream as write requests
// of `requestLength` bytes each; `count` is a multiple of it.
void commitRoom(int unit, std::size_t count, std::size_t requestLength);

// Copies up to `count` bytes of input `from` to the end of output `to`
// inside the system, as one-byte requests would, when both are regular
// files and nothing fetched of `from` is left to hand out. Stops, with
// nothing reported, where the system cannot copy or a copy fails: whatever
// is left then goes through the buffers, which report any failure as their
// own. Once the system has refused to copy between the two files, it is
// not asked again.
struct SystemCopy {
  std::uint64_t copied = 0;
  bool atEnd = false;  // `from` ended before `count` bytes
};
SystemCopy copyInSystem(int from, int to, std::uint64_t count);

// Ends output `unit`, a regular file, at `length`, dropping what was
// written beyond it, once every completed request has reached the file;
// the stream goes on from there. Fails with 38.
void cutOutputAt(int unit, std::uint64_t length);

// The byte-order settings chosen at the unit's open: what a request of the
// unit does to the items it moves.
const ByteOrderSettings& byteOrderOf(int unit);

}  // namespace quadrel
