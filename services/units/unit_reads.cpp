// Reading a binary unit: block fetches, read requests, and the fetched
// bytes lent out many requests at a time.
//
// A read request fetches only when no fetched byte is left unconsumed; a
// caller that needs more bytes in one piece fetches behind those left.
// Either way requests see exactly the bytes of the file in order; the block
// size only changes how many requests one fetch serves.
#include <algorithm>
#include <cstring>

#include "services/units/unit_table.h"

namespace quadrel {
namespace {

// The fetch rule: refills the empty buffer. No bytes fail with 24, a
// refused read with 39 and its system error.
void fetchBlock(BinaryUnit& unit) {
  if (fetchAvailable(unit) == 0) failUnit(unit.record, status::endOfFileDuringRead);
}

// Copies `size` bytes into `destination`, fetching whenever the buffer runs
// dry, so an item that straddles two fetches arrives whole. At the end of
// the file the bytes taken so far stay where they went.
void take(BinaryUnit& unit, std::byte* destination, std::size_t size) {
  while (size > 0) {
    if (unit.unconsumed == 0) fetchBlock(unit);
    const std::size_t count = std::min(size, unit.unconsumed);
    std::memcpy(destination, unit.fetchBuffer.get() + unit.nextByte, count);
    consume(unit, count);
    destination += count;
    size -= count;
  }
}

}  // namespace

// The bytes still to hand out move to the front of the buffer, and the read
// fills the room behind them.
std::size_t fetchAvailable(BinaryUnit& unit) {
  std::byte* buffer = unit.fetchBuffer.get();
  if (unit.nextByte != 0) std::memmove(buffer, buffer + unit.nextByte, unit.unconsumed);
  unit.nextByte = 0;
  const platform::TransferResult got = platform::readSome(
      unit.handle.load(std::memory_order_relaxed), buffer + unit.unconsumed, fetchSize - unit.unconsumed);
  if (got.error != 0) failUnitCall(unit.record, status::errorDuringRead, got.error);
  unit.unconsumed += got.count;
  unit.fetchedTotal += static_cast<std::int64_t>(got.count);
  return got.count;
}

void consume(BinaryUnit& unit, std::size_t count) {
  unit.nextByte += count;
  unit.unconsumed -= count;
}

void readStatement(int number, std::span<const TransferItem> items) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  // A request that begins at the end fails before any item is touched.
  if (unit.unconsumed == 0) fetchBlock(unit);
  for (const TransferItem& item : items) {
    take(unit, item.image, item.length);
    if (unit.order.convert && !fileToMemory(unit.order, item.kind, item.image)) {
      reportUnitFailure(unit.record, status::floatConversionFailed);
    }
  }
}

void failAtEndOfData(int number) {
  failUnit(unitConnectedFor(number, UnitAction::read, status::errorDuringRead).record,
           status::endOfFileDuringRead);
}

std::span<const std::byte> borrowFetched(int number) {
  const BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  return {unit.fetchBuffer.get() + unit.nextByte, unit.unconsumed};
}

void commitFetched(int number, std::size_t count) {
  consume(unitConnectedFor(number, UnitAction::read, status::errorDuringRead), count);
}

bool fetchMore(int number) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  return unit.unconsumed > 0 || fetchAvailable(unit) > 0;
}

bool fetchAtLeast(int number, std::size_t least) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  while (unit.unconsumed < least) {
    if (fetchAvailable(unit) == 0) return false;
  }
  return true;
}

std::optional<std::uint64_t> bytesLeftInUnit(int number) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  if (!unit.sized) return std::nullopt;
  const platform::SizeResult file = platform::sizeOf(unit.handle.load(std::memory_order_relaxed));
  if (file.error != 0) failUnitCall(unit.record, status::errorDuringRead, file.error);
  if (!file.size) return std::nullopt;
  const std::int64_t handedOut =
      unit.startOffset + unit.fetchedTotal - static_cast<std::int64_t>(unit.unconsumed);
  return static_cast<std::uint64_t>(std::max<std::int64_t>(*file.size - handedOut, 0));
}

bool skipInput(int number, std::uint64_t count) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  const auto fromBuffer = static_cast<std::size_t>(std::min<std::uint64_t>(count, unit.unconsumed));
  consume(unit, fromBuffer);
  count -= fromBuffer;
  if (count == 0) return true;
  const std::optional<std::uint64_t> left = unit.sized ? bytesLeftInUnit(number) : std::nullopt;
  if (left && *left >= count) {
    const platform::SystemError error =
        platform::moveForward(unit.handle.load(std::memory_order_relaxed), static_cast<std::int64_t>(count));
    if (error != 0) failUnitCall(unit.record, status::errorDuringRead, error);
    unit.fetchedTotal += static_cast<std::int64_t>(count);
    return true;
  }
  while (count > 0) {
    if (unit.unconsumed == 0 && fetchAvailable(unit) == 0) return false;
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count, unit.unconsumed));
    consume(unit, step);
    count -= step;
  }
  return true;
}

// Standard input may stand anywhere in its file when the program starts:
// the unit's offsets count from there.
bool peekAt(int number, std::uint64_t offset, std::span<std::byte> into) {
  BinaryUnit& unit = unitConnectedFor(number, UnitAction::read, status::errorDuringRead);
  const platform::TransferResult got =
      platform::readAt(unit.handle.load(std::memory_order_relaxed), into.data(), into.size(),
                       unit.startOffset + static_cast<std::int64_t>(offset));
  if (got.error != 0) failUnitCall(unit.record, status::errorDuringRead, got.error);
  return got.count == into.size();
}

}  // namespace quadrel
