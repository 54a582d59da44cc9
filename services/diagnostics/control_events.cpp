// The console control handler: control-C and its relatives end the run.
#include <string_view>

#include "services/diagnostics/report.h"
#include "services/diagnostics/termination.h"
#include "services/diagnostics/termination_owner.h"

namespace quadrel {
namespace {

std::string_view eventName(int event) {
  switch (event) {
    case 0:
      return "control-C";
    case 1:
      return "control-BREAK";
    case 2:
      return "menu-CLOSE";
    default:
      return "unknown";
  }
}

}  // namespace

// Runs on the control event thread while the main thread may be anywhere,
// inside a unit operation included. It never waits for the main thread: the
// closing skips a unit in use, and the exit ends the main thread where it is.
void onConsoleControl(int event) {
  claimTermination();
  reportStatus(status::controlEvent, {eventName(event)});
  closeAllUnitsAtExit();
  platform::exitProcess(static_cast<std::uint32_t>(event));
}

}  // namespace quadrel
