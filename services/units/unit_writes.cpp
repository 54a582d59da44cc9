// Writing a binary unit: gathered writes to disk files, one platform write
// per request elsewhere, the room lent out many requests at a time, the
// copy inside the system, requests written over earlier bytes, and the
// saving of every completed request before any report and before every way
// of ending.
//
// An ending at once may interrupt or stop the owner thread at any instant
// and write bytes [0, published) at `fileOffset`, cutting after them while
// the cut is armed; the order of the stores below is what makes that safe
// (the rules are in termination.h).
//
// A full gathered buffer goes to the write behind once the cut is made, and
// the other buffer takes its place. Its failure is reported when the owner
// next waits for it, and drops what was gathered after it, as a failed
// write drops its own buffer.
//
// Every byte of the stream handed to the system is counted for the progress
// line as it goes: a gathered buffer, a request written on its own, a step
// of the copy inside the system.
#include <algorithm>
#include <cstring>
#include <new>

#include "services/diagnostics/progress.h"
#include "services/units/unit_table.h"

namespace quadrel {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr auto release = std::memory_order_release;
constexpr auto acquire = std::memory_order_acquire;

// How much one copy inside the system asks for: small enough that the
// progress line moves on a slow card.
constexpr std::size_t copyStep = std::size_t{64} << 20;

struct TrackedWrite {
  std::size_t written;
  platform::SystemError error;
};

// Writes at the tracked offset. While the cut is armed, the first request
// goes alone and the file is cut right after it, as one platform write per
// request would have done; the rest follows. A failure stops at once, with
// the bytes written so far left in the file.
TrackedWrite writeTracked(BinaryUnit& unit, const std::byte* bytes, std::size_t size) {
  const platform::Handle handle = unit.handle.load(relaxed);
  const std::int64_t offset = unit.fileOffset.load(relaxed);
  std::size_t written = 0;
  if (unit.cutPending.load(relaxed)) {
    const std::size_t first = std::min(size, unit.firstRequestEnd);
    const platform::TransferResult result = platform::writeAllAt(handle, bytes, first, offset);
    written = result.count;
    if (result.error != 0) return {written, result.error};
    const platform::SystemError cutError = platform::cutAt(handle, offset + static_cast<std::int64_t>(first));
    unit.cutPending.store(false, release);
    if (cutError != 0) return {written, cutError};
  }
  const platform::TransferResult result = platform::writeAllAt(handle, bytes + written, size - written,
                                                               offset + static_cast<std::int64_t>(written));
  return {written + result.count, result.error};
}

void advance(BinaryUnit& unit, std::size_t written) {
  const std::int64_t offset = unit.fileOffset.load(relaxed);
  unit.published.store(0, release);
  unit.fileOffset.store(offset + static_cast<std::int64_t>(written), release);
  unit.firstRequestEnd = noRequestYet;
}

// A request too large for the gathered buffer goes to the file on its own;
// while it goes, an ending at once writes it again and makes the cut.
void writeDirect(BinaryUnit& unit, const std::byte* bytes, std::size_t size, std::size_t requestLength) {
  flushOrFail(unit);
  if (unit.cutPending.load(relaxed)) unit.firstRequestEnd = requestLength;
  unit.direct.store(bytes, relaxed);
  unit.directSize.store(size, release);
  const TrackedWrite write = writeTracked(unit, bytes, size);
  unit.directSize.store(0, release);
  advance(unit, write.written);
  countOutputBytes(write.written);
  if (write.error != 0) failUnitCall(unit.record, status::errorDuringWrite, write.error);
}

// Waits for the write behind; fails with 38 when it failed.
void finishWriteBehind(BinaryUnit& unit) {
  if (!unit.behind.inFlight()) return;
  const std::int64_t offset = unit.behind.offset();
  const platform::TransferResult result = unit.behind.finish();
  if (result.error != 0) {
    unit.published.store(0, release);
    unit.fileOffset.store(offset + static_cast<std::int64_t>(result.count), release);
  }
  unit.behind.forget();
  if (result.error != 0) failUnitCall(unit.record, status::errorDuringWrite, result.error);
}

bool hasSpareBuffer(BinaryUnit& unit) {
  if (!unit.spareStorage) unit.spareStorage = newTransferBuffer(gatherSize);
  return unit.spareStorage != nullptr;
}

// Empties the gathered buffer: hands it to the write behind, or, while the
// cut is armed or without a helper thread or a second buffer, writes it now.
void passOnGathered(BinaryUnit& unit) {
  finishWriteBehind(unit);
  if (unit.published.load(relaxed) == 0 || unit.cutPending.load(relaxed) || !hasSpareBuffer(unit) ||
      !unit.behind.available()) {
    flushOrFail(unit);
    return;
  }
  const std::size_t size = unit.published.load(relaxed);
  const std::int64_t offset = unit.fileOffset.load(relaxed);
  unit.behind.start(unit.handle.load(relaxed), unit.gathered.load(relaxed), size, offset);
  unit.published.store(0, release);
  unit.fileOffset.store(offset + static_cast<std::int64_t>(size), release);
  std::swap(unit.gatherStorage, unit.spareStorage);
  unit.gathered.store(unit.gatherStorage.get(), release);
  unit.firstRequestEnd = noRequestYet;
  countOutputBytes(size);
}

// Room for at least `size` bytes at the end of the gathered buffer (passing
// it on first when needed); returns the free space and its length.
std::byte* gatherSpace(BinaryUnit& unit, std::size_t size, std::size_t& available) {
  std::size_t used = unit.published.load(relaxed);
  if (gatherSize - used < size) {
    passOnGathered(unit);
    used = 0;
  }
  available = gatherSize - used;
  return unit.gathered.load(relaxed) + used;
}

// Makes `size` bytes written after the published ones part of the stream.
void publish(BinaryUnit& unit, std::size_t size, std::size_t requestLength) {
  const std::size_t used = unit.published.load(relaxed);
  if (unit.cutPending.load(relaxed) && unit.firstRequestEnd == noRequestYet) {
    unit.firstRequestEnd = used + requestLength;
  }
  unit.published.store(used + size, release);
}

// A staging area of at least `size` bytes; fails with 41 when it cannot grow.
std::byte* stagingSpace(BinaryUnit& unit, std::size_t size) {
  if (size > unit.stagingCapacity) {
    std::byte* larger = new (std::nothrow) std::byte[size];
    if (larger == nullptr) failUnit(unit.record, status::insufficientMemory);
    unit.staging.reset(larger);
    unit.stagingCapacity = size;
  }
  return unit.staging.get();
}

// Puts completed bytes into the unit's stream, `size` a multiple of
// `requestLength`, never splitting a request across two platform writes of
// a gathered stream. A disk file gathers; anything else gets one platform
// write. Fails with 38.
void putCompleted(BinaryUnit& unit, const std::byte* bytes, std::size_t size, std::size_t requestLength) {
  if (size == 0) return;
  if (!unit.disk) {
    const platform::TransferResult result = platform::writeAll(unit.handle.load(relaxed), bytes, size);
    if (result.error != 0) failUnitCall(unit.record, status::errorDuringWrite, result.error);
    countOutputBytes(size);
    return;
  }
  if (requestLength > gatherSize) {
    writeDirect(unit, bytes, size, requestLength);
    return;
  }
  while (size > 0) {
    std::size_t available = 0;
    std::byte* space = gatherSpace(unit, requestLength, available);
    const std::size_t count = std::min(size, available - available % requestLength);
    std::memcpy(space, bytes, count);
    publish(unit, count, requestLength);
    bytes += count;
    size -= count;
  }
}

// Writes the gathered bytes and cuts the file when the cut is armed; the
// system error of a failure, or 0. A failed buffer is dropped, so that no
// later flush writes it again.
platform::SystemError flushGathered(BinaryUnit& unit) {
  const std::size_t size = unit.published.load(relaxed);
  if (size == 0) return 0;
  const TrackedWrite write = writeTracked(unit, unit.gathered.load(relaxed), size);
  advance(unit, write.written);
  countOutputBytes(write.written);
  return write.error;
}

// The bytes of a request in the unit's staging area, converted where the
// byte-order settings ask for it; returns their count.
std::size_t stageRequest(BinaryUnit& unit, std::span<const TransferItem> items) {
  std::size_t size = 0;
  for (const TransferItem& item : items)
    size += item.length;
  std::byte* request = stagingSpace(unit, size);
  std::size_t at = 0;
  for (const TransferItem& item : items) {
    if (item.length == 0) continue;
    std::memcpy(request + at, item.image, item.length);
    // The caller's value stays as it was; only the copy is converted.
    if (unit.order.convert && !memoryToFile(unit.order, item.kind, request + at)) {
      reportUnitFailure(unit.record, status::floatConversionFailed);
    }
    at += item.length;
  }
  return size;
}

}  // namespace

void flushOrFail(BinaryUnit& unit) {
  finishWriteBehind(unit);
  if (const platform::SystemError error = flushGathered(unit); error != 0) {
    failUnitCall(unit.record, status::errorDuringWrite, error);
  }
}

void writeStatement(int number, std::span<const TransferItem> items) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::write, status::errorDuringWrite);
  const std::size_t size = stageRequest(unit, items);
  putCompleted(unit, unit.staging.get(), size, size);
}

std::optional<std::uint64_t> writtenLength(int number) {
  const BinaryUnit& unit = binaryUnit(number);
  if (!unit.connected || unit.direction != UnitAction::write || !unit.disk) return std::nullopt;
  return static_cast<std::uint64_t>(unit.fileOffset.load(relaxed)) + unit.published.load(relaxed);
}

// Once the gathered bytes are in the file nothing is left for an ending at
// once to write, so the platform write below is the only one that can
// touch these bytes.
void writeStatementAt(int number, std::uint64_t offset, std::span<const TransferItem> items) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::write, status::errorDuringWrite);
  if (!unit.disk) failUnit(unit.record, status::errorDuringWrite);
  const std::size_t size = stageRequest(unit, items);
  flushOrFail(unit);
  const platform::TransferResult result = platform::writeAllAt(unit.handle.load(relaxed), unit.staging.get(),
                                                               size, static_cast<std::int64_t>(offset));
  if (result.error != 0) failUnitCall(unit.record, status::errorDuringWrite, result.error);
}

std::span<std::byte> borrowRoom(int number, std::size_t least) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::write, status::errorDuringWrite);
  if (!unit.disk) {
    std::byte* space = stagingSpace(unit, least);
    return {space, unit.stagingCapacity};
  }
  std::size_t available = 0;
  std::byte* space = gatherSpace(unit, least, available);
  return {space, available};
}

void commitRoom(int number, std::size_t count, std::size_t requestLength) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::write, status::errorDuringWrite);
  if (count == 0) return;
  if (unit.disk) {
    publish(unit, count, requestLength);
  } else {
    putCompleted(unit, unit.staging.get(), count, requestLength);
  }
}

SystemCopy copyInSystem(int fromNumber, int toNumber, std::uint64_t count) {
  BinaryUnit& input = unitConnectedFor(fromNumber, UnitAction::read, status::errorDuringRead);
  BinaryUnit& output = unitConnectedFor(toNumber, UnitAction::write, status::errorDuringWrite);
  SystemCopy copy;
  if (!input.sized || !output.disk || output.copyRefused || input.unconsumed != 0) return copy;
  flushOrFail(output);
  // A cut still armed belongs after the first request: the buffers make it.
  if (output.cutPending.load(relaxed)) return copy;
  while (copy.copied < count) {
    const std::int64_t offset = output.fileOffset.load(relaxed);
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count - copy.copied, copyStep));
    const platform::TransferResult copied =
        platform::copyRange(input.handle.load(relaxed), output.handle.load(relaxed), offset, step);
    if (copied.error != 0) {
      // Refused from the start: the files are on two file systems, or the
      // system has no such copy. A failure later on is tried again.
      output.copyRefused = copy.copied == 0;
      break;
    }
    if (copied.count == 0) {
      copy.atEnd = true;
      break;
    }
    output.fileOffset.store(offset + static_cast<std::int64_t>(copied.count), release);
    input.fetchedTotal += static_cast<std::int64_t>(copied.count);
    copy.copied += copied.count;
    countOutputBytes(copied.count);
  }
  return copy;
}

void cutOutputAt(int number, std::uint64_t length) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::write, status::errorDuringWrite);
  if (!unit.disk) failUnit(unit.record, status::errorDuringWrite);
  flushOrFail(unit);
  const auto at = static_cast<std::int64_t>(length);
  if (const platform::SystemError error = platform::cutAt(unit.handle.load(relaxed), at); error != 0) {
    failUnitCall(unit.record, status::errorDuringWrite, error);
  }
  unit.fileOffset.store(std::min(unit.fileOffset.load(relaxed), at), release);
}

void saveBinaryUnits() {
  for (int number : unitNumbers) {
    BinaryUnit& unit = binaryUnit(number);
    if (unit.connected && unit.gathered.load(relaxed) != nullptr) flushOrFail(unit);
  }
}

void saveBinaryUnitsAtOnce() {
  for (int number : unitNumbers) {
    BinaryUnit& unit = binaryUnit(number);
    const std::byte* bytes = unit.gathered.load(acquire);
    const platform::Handle handle = unit.handle.load(acquire);
    if (bytes == nullptr || handle == platform::noHandle) continue;
    unit.behind.writeAgainAtOnce(handle);
    std::size_t size = unit.published.load(acquire);
    if (size == 0) {
      size = unit.directSize.load(acquire);
      bytes = unit.direct.load(acquire);
    }
    if (size == 0) continue;
    const std::int64_t offset = unit.fileOffset.load(acquire);
    const platform::TransferResult result = platform::writeAllAt(handle, bytes, size, offset);
    if (result.error == 0 && unit.cutPending.load(acquire)) {
      platform::cutAt(handle, offset + static_cast<std::int64_t>(size));
    }
  }
}

}  // namespace quadrel
