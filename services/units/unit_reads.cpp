// Reading a binary unit: block fetches, read requests, and the fetched
// bytes lent out many requests at a time.
//
// A fetch happens only when no fetched byte is left unconsumed, so requests
// see exactly the bytes of the file in order; the block size only changes
// how many requests one fetch serves.
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

std::size_t fetchAvailable(BinaryUnit& unit) {
  const platform::TransferResult got =
      platform::readSome(unit.handle.load(std::memory_order_relaxed), unit.fetchBuffer.get(), fetchSize);
  if (got.error != 0) failUnitCall(unit.record, status::errorDuringRead, got.error);
  unit.nextByte = 0;
  unit.unconsumed = got.count;
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

}  // namespace quadrel
