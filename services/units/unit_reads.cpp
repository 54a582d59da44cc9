// Reading a binary unit: block fetches, read requests, the end-of-file test.
//
// A fetch happens only when no fetched byte is left unconsumed, so requests
// see exactly the bytes of the file in order; the block size only changes
// how many requests one fetch serves.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "services/diagnostics/report.h"
#include "services/units/unit_table.h"

namespace quadrel {

std::size_t fetchAvailable(BinaryUnit& unit) {
  const platform::TransferResult got =
      platform::readSome(unit.handle.load(std::memory_order_relaxed), unit.fetchBuffer.get(), fetchSize);
  if (got.error != 0) {
    unit.record.savedSystemError = got.error;
    failUnit(unit.record, status::errorDuringRead);
  }
  unit.nextByte = 0;
  unit.unconsumed = got.count;
  unit.fetchedTotal += static_cast<std::int64_t>(got.count);
  return got.count;
}

void fetchBlock(BinaryUnit& unit) {
  if (fetchAvailable(unit) == 0) failUnit(unit.record, status::endOfFileDuringRead);
}

std::optional<std::int64_t> bytesLeft(const BinaryUnit& unit) {
  if (!unit.disk) return static_cast<std::int64_t>(unit.unconsumed);
  const std::optional<std::int64_t> size = platform::sizeOf(unit.handle.load(std::memory_order_relaxed));
  if (!size) return std::nullopt;
  return *size - (unit.fetchedTotal - static_cast<std::int64_t>(unit.unconsumed));
}

void consume(BinaryUnit& unit, std::size_t count) {
  unit.nextByte += count;
  unit.unconsumed -= count;
}

namespace {

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

void readStatement(int number, std::span<const TransferItem> items) {
  BinaryUnit& unit = unitForOperation(number);
  std::lock_guard lock(unit.record.inUse);
  if (!unit.connected || unit.direction != UnitAction::read) unitNotConnected(unit, status::errorDuringRead);

  // A request that begins at the end fails before any item is touched.
  if (unit.unconsumed == 0) fetchBlock(unit);
  for (const TransferItem& item : items) {
    take(unit, item.image, item.length);
    if (unit.order.convert && !fileToMemory(unit.order, item.kind, item.image)) {
      reportUnitFailure(unit.record, status::floatConversionFailed);
    }
  }
}

bool unitAtEnd(int number) {
  BinaryUnit& unit = unitForOperation(number);
  std::lock_guard lock(unit.record.inUse);
  if (!unit.connected) return true;
  // A disk file whose size cannot be had is not taken to be at its end:
  // the next read then says whether it is.
  const std::optional<std::int64_t> left = bytesLeft(unit);
  return left && *left <= 0;
}

std::optional<std::uint64_t> bytesLeftInUnit(int number) {
  BinaryUnit& unit = unitForOperation(number);
  std::lock_guard lock(unit.record.inUse);
  if (!unit.connected || !unit.disk) return std::nullopt;
  const std::optional<std::int64_t> left = bytesLeft(unit);
  if (!left) return std::nullopt;
  return static_cast<std::uint64_t>(std::max<std::int64_t>(*left, 0));
}

}  // namespace quadrel
