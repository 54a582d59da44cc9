// The binary unit table: the one piece of global state of the units.
//
// It is built before main runs, so the signal-safe flush can walk it at any
// moment without a first-use guard.
#include "services/units/unit_table.h"

#include <cstdlib>

#include "services/diagnostics/report.h"
#include "services/diagnostics/termination.h"

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

BinaryUnit& unitForOperation(int number) {
  if (terminationStarted()) platform::parkForever();
  return binaryUnit(number);
}

void unitNotConnected(BinaryUnit& unit, StatusCode code) {
  if (terminationStarted()) platform::parkForever();
  failUnit(unit.record, code);
}

}  // namespace quadrel
