// The ways the process ends: one owner thread, one closing of the units,
// one exit.
#include "services/diagnostics/termination.h"

#include <atomic>

#include "services/console/console_input.h"
#include "services/console/output_records.h"
#include "services/diagnostics/termination_owner.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

// The address of this object tells the threads apart, also inside a signal
// handler, where no thread library call is safe.
thread_local char threadMarker;

std::atomic<const void*> terminationOwner{nullptr};
std::atomic<bool> closingRan{false};

static_assert(std::atomic<const void*>::is_always_lock_free);

}  // namespace

TerminationClaim claimTermination() {
  const void* self = &threadMarker;
  const void* current = nullptr;
  if (terminationOwner.compare_exchange_strong(current, self)) return TerminationClaim::won;
  if (current == self) return TerminationClaim::alreadyOwner;
  platform::parkForever();
}

bool terminationOwnedElsewhere() {
  const void* current = terminationOwner.load();
  return current != nullptr && current != &threadMarker;
}

bool terminationStarted() { return terminationOwner.load() != nullptr; }

// A severe report made by one of the closes below ends the process from
// inside this function, with that report's code; the flag keeps the closing
// from starting over on that path.
int closeAllUnitsAtExit() {
  claimTermination();
  if (closingRan.exchange(true)) return 0;
  closeBinaryUnitsAtExit();
  closeConsoleInputAtExit();
  closeConsoleOutputAtExit();
  return 0;
}

void endProcess(std::uint32_t status) {
  claimTermination();
  closeAllUnitsAtExit();
  platform::exitProcess(status);
}

void stopRun(std::string_view) { endProcess(0); }

void endProgram() { endProcess(0); }

}  // namespace quadrel
