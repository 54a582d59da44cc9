// The binary unit table, units 1, 2 and 9, and the steps that the unit
// operations share. Internal to the units.
//
// Every field is guarded by the unit's record.inUse, except the atomics,
// which the signal-safe flush also reads without a lock. A disk file being
// written keeps a gathered buffer of completed requests: bytes
// [0, published) belong at file offset `fileOffset`; bytes beyond
// `published` are never written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/platform.h"
#include "services/diagnostics/status_code.h"
#include "services/diagnostics/unit_record.h"
#include "services/units/binary_units.h"
#include "services/units/byte_order.h"

namespace quadrel {

inline constexpr std::size_t fetchSize = 256 * 1024;
inline constexpr std::size_t gatherSize = 1024 * 1024;
inline constexpr std::size_t requestStagingSize = 64 * 1024;
inline constexpr std::size_t noRequestYet = SIZE_MAX;

struct BinaryUnit {
  UnitRecord record;
  bool connected = false;
  UnitAction direction = UnitAction::read;
  bool disk = false;            // a regular file reached by name: gathered, cut, sized
  bool standardHandle = false;  // never closed
  ByteOrderSettings order;

  // Reading: buffer[nextByte, nextByte + unconsumed) is still to be handed out.
  std::unique_ptr<std::byte[]> fetchBuffer;
  std::size_t nextByte = 0;
  std::size_t unconsumed = 0;
  std::int64_t fetchedTotal = 0;  // since the open or the last rewind

  // Writing: one request is built here before it joins the stream.
  std::unique_ptr<std::byte[]> staging;
  std::size_t stagingCapacity = 0;
  std::unique_ptr<std::byte[]> gatherStorage;
  // Where, counted from `fileOffset`, the first request since the cut was
  // armed ends; noRequestYet before it.
  std::size_t firstRequestEnd = noRequestYet;

  std::atomic<platform::Handle> handle{platform::noHandle};
  std::atomic<std::byte*> gathered{nullptr};
  std::atomic<std::size_t> published{0};
  std::atomic<std::int64_t> fileOffset{0};
  std::atomic<bool> cutPending{false};
};

// The unit of `number` (1, 2 or 9); any other number is a programming error.
BinaryUnit& binaryUnit(int number);

// Units in table order: 1, 2, 9.
inline constexpr int unitNumbers[] = {1, 2, 9};

// The start of every unit operation: a thread that finds the process being
// ended by another thread goes no further.
BinaryUnit& unitForOperation(int number);

// An operation found its unit not connected, or connected the other way:
// either the closing at exit took it away (then this thread waits for the
// end) or the caller is wrong.
[[noreturn]] void unitNotConnected(BinaryUnit& unit, StatusCode code);

// ---- Reading (unit_reads.cpp) --------------------------------------------

// Refills the empty buffer with what one read brings, possibly nothing; a
// refused read fails with 39 and its system error.
std::size_t fetchAvailable(BinaryUnit& unit);

// The fetch rule: refills the empty buffer. No bytes fail with 24, a
// refused read with 39 and its system error.
void fetchBlock(BinaryUnit& unit);

// Bytes still to be handed out: up to the current size for a disk file,
// the buffered bytes otherwise. Nothing when a disk file has no size.
std::optional<std::int64_t> bytesLeft(const BinaryUnit& unit);

void consume(BinaryUnit& unit, std::size_t count);

// ---- Writing (unit_writes.cpp) ---------------------------------------------

// Puts completed bytes into the unit's stream, `size` a multiple of
// `requestLength`, never splitting a request across two platform writes of
// a gathered stream. A disk file gathers; anything else gets one platform
// write. Fails with 38.
void putCompleted(BinaryUnit& unit, const std::byte* bytes, std::size_t size, std::size_t requestLength);

// Writes the gathered bytes and cuts the file when the cut is armed. False
// on failure, with the system error saved and the failed bytes dropped.
bool flushGathered(BinaryUnit& unit);

// flushGathered, failing with 38.
void flushOrFail(BinaryUnit& unit);

// Room for at least `size` bytes at the end of the gathered buffer (flushing
// it first when needed); returns the free space and its length.
std::byte* gatherSpace(BinaryUnit& unit, std::size_t size, std::size_t& available);

// Makes `size` bytes written after the published ones part of the stream.
void publish(BinaryUnit& unit, std::size_t size, std::size_t requestLength);

// A staging area of at least `size` bytes; fails with 41 when it cannot grow.
std::byte* stagingSpace(BinaryUnit& unit, std::size_t size);

}  // namespace quadrel
