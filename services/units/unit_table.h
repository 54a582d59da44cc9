// The binary unit table, units 1, 2 and 9, and the steps that the unit
// operations share. Internal to the units.
//
// Only the owner thread operates on the units, so no field needs a lock:
// the one other thread, the write behind's (write_behind.h), touches only
// the buffer handed to it, through its own handover.
// An ending that interrupts or stops that thread may still read the atomics
// at any instant, to write the completed output and close the files (the
// rules of that are in termination.h). A disk file being written keeps a gathered buffer of
// completed requests: bytes [0, published) belong at file offset
// `fileOffset`; bytes beyond `published` are never written. The full
// buffer before it may still be in flight, written behind (see
// write_behind.h). A request too large for the buffer, while it is being
// written on its own, is bytes [0, directSize) of `direct`, which belong at
// `fileOffset` too; nothing is gathered meanwhile.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "services/diagnostics/reports.h"
#include "services/units/binary_units.h"
#include "services/units/byte_order.h"
#include "services/units/write_behind.h"

namespace quadrel {

inline constexpr std::size_t fetchSize = 1024 * 1024;
inline constexpr std::size_t gatherSize = 1024 * 1024;
inline constexpr std::size_t requestStagingSize = 64 * 1024;
inline constexpr std::size_t noRequestYet = SIZE_MAX;

// A bulk buffer of the platform's kind, given back when dropped.
struct BufferRelease {
  std::size_t size = 0;
  void operator()(std::byte* buffer) const { platform::releaseBuffer(buffer, size); }
};
using TransferBuffer = std::unique_ptr<std::byte[], BufferRelease>;

// A bulk buffer of `size` bytes; empty when there is no memory.
inline TransferBuffer newTransferBuffer(std::size_t size) {
  return TransferBuffer(platform::allocateBuffer(size), BufferRelease{size});
}

struct BinaryUnit {
  UnitRecord record;
  bool connected = false;
  UnitAction direction = UnitAction::read;
  bool disk = false;            // a regular file reached by name: gathered and cut
  bool standardHandle = false;  // never closed
  // Reading: a regular file, reached by name or as standard input, whose
  // length is known; its first byte read was at `startOffset`.
  bool sized = false;
  std::int64_t startOffset = 0;
  // Writing: the system refused to copy into this file from an input.
  bool copyRefused = false;
  platform::FileIdentity identity;
  ByteOrderSettings order;

  // Reading: buffer[nextByte, nextByte + unconsumed) is still to be handed out.
  TransferBuffer fetchBuffer;
  std::size_t nextByte = 0;
  std::size_t unconsumed = 0;
  std::int64_t fetchedTotal = 0;  // since the open or the last rewind

  // Writing: one request is built here before it joins the stream.
  std::unique_ptr<std::byte[]> staging;
  std::size_t stagingCapacity = 0;
  TransferBuffer gatherStorage;
  // The buffer that the write behind has, or had last; taken on first need.
  TransferBuffer spareStorage;
  WriteBehind behind;
  // Where, counted from `fileOffset`, the first request since the cut was
  // armed ends; noRequestYet before it.
  std::size_t firstRequestEnd = noRequestYet;

  std::atomic<platform::Handle> handle{platform::noHandle};
  std::atomic<std::byte*> gathered{nullptr};
  std::atomic<std::size_t> published{0};
  std::atomic<std::int64_t> fileOffset{0};
  std::atomic<bool> cutPending{false};
  std::atomic<const std::byte*> direct{nullptr};
  std::atomic<std::size_t> directSize{0};
};

// The unit of `number` (1, 2 or 9); any other number is a programming error.
BinaryUnit& binaryUnit(int number);

// Units in table order: 1, 2, 9.
inline constexpr int unitNumbers[] = {1, 2, 9};

// The unit of an operation, connected for `direction`; otherwise the
// operation fails with `code`.
BinaryUnit& unitConnectedFor(int number, UnitAction direction, StatusCode code);

// ---- Reading (unit_reads.cpp) --------------------------------------------

// Adds to the fetched bytes what one read brings, possibly nothing, behind
// those not yet handed out; a refused read fails with 39 and its system
// error.
std::size_t fetchAvailable(BinaryUnit& unit);

void consume(BinaryUnit& unit, std::size_t count);

// ---- Writing (unit_writes.cpp) ---------------------------------------------

// Writes the gathered bytes and cuts the file when the cut is armed; a
// failure fails with 38, its bytes dropped.
void flushOrFail(BinaryUnit& unit);

// The ending's steps for the binary units (see termination.h): written out
// and closed as ordinary code, or at once.
void saveBinaryUnits();
void saveBinaryUnitsAtOnce();
void closeBinaryUnitsAtOnce();

}  // namespace quadrel
