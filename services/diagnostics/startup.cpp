// Process start-up: the settings in their order, the driver, the end.
#include "services/diagnostics/startup.h"

#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "services/console/arguments.h"
#include "services/diagnostics/env_flags.h"
#include "services/diagnostics/processor_exceptions.h"
#include "services/diagnostics/report.h"
#include "services/diagnostics/startup_failures.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

struct EnvironmentFlags {
  bool noErrorDialogs = false;
  bool ignoreExceptions = false;
  bool runFlawedDivider = false;
};

void copyCommandWords(int argc, char** argv) {
  std::optional<std::vector<std::string>> words = platform::commandWords(argc, argv);
  if (!words) failStartup(StartupFailure::commandWords);
  try {
    setCommandWords(std::move(*words));
  } catch (const std::bad_alloc&) {
    failStartup(StartupFailure::commandWords);
  }
}

EnvironmentFlags copyEnvironmentFlags() {
  try {
    return {envFlagIsSet("FOR_NOERROR_DIALOGS"), envFlagIsSet("FOR_IGNORE_EXCEPTIONS"),
            envFlagIsSet("FOR_RUN_FLAWED_PENTIUM")};
  } catch (const std::bad_alloc&) {
    failStartup(StartupFailure::environment);
  }
}

// The classic test of a flawed floating-point divider. The operands are
// volatile, and so is the product, so that the compiler can neither fold the
// expression nor fuse it into one multiply-add, which would keep the
// rounding residue and make every processor look flawed.
bool dividerIsFlawed() {
  volatile double dividend = 4195835.0;
  volatile double divisor = 3145727.0;
  volatile double product = (dividend / divisor) * divisor;
  return dividend - product != 0.0;
}

}  // namespace

void runProgram(int argc, char** argv, Driver driver) {
  copyCommandWords(argc, argv);
  const EnvironmentFlags flags = copyEnvironmentFlags();

  platform::makeWriteFailuresReturnErrors();
  platform::startControlEventThread(onConsoleControl);
  if (flags.noErrorDialogs) platform::suppressErrorDialogs();
  platform::maskFloatingPointExceptions();
  setIgnoreProcessorExceptions(flags.ignoreExceptions);
  platform::installExceptionHandler(onProcessorException);

  if (dividerIsFlawed() && !flags.runFlawedDivider) reportStatus(status::flawedDivider, {});

  driver();
  endProgram();
}

}  // namespace quadrel
