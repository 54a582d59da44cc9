// The binary unit table: the one piece of global state of the units.
//
// It is built before main runs, so an ending at once can walk it at any
// moment without a first-use guard.
#include "services/units/unit_table.h"

#include <cstdlib>

namespace quadrel {
namespace {

static_assert(std::atomic<std::byte*>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);
static_assert(std::atomic<std::int64_t>::is_always_lock_free);
static_assert(std::atomic<platform::Handle>::is_always_lock_free);

struct UnitTable {
  BinaryUnit units[3];
  UnitTable() {
    for (int i = 0; i < 3; ++i)
      units[i].record.number = unitNumbers[i];
  }
};

UnitTable table;

}  // namespace

BinaryUnit& binaryUnit(int number) {
  switch (number) {
    case 1:
      return table.units[0];
    case 2:
      return table.units[1];
    case 9:
      return table.units[2];
    default:
      std::abort();
  }
}

BinaryUnit& unitConnectedFor(int number, UnitAction direction, StatusCode code) {
  BinaryUnit& unit = binaryUnit(number);
  if (!unit.connected || unit.direction != direction) failUnit(unit.record, code);
  return unit;
}

}  // namespace quadrel
