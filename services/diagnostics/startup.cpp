// Process start-up: the settings in their order, the driver, the end.
#include "services/diagnostics/startup.h"

#include <new>
#include <string>
#include <utility>

#include "services/diagnostics/reports.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

platform::CommandLine& commandLineCopy() {
  static platform::CommandLine line;
  return line;
}

StartupSettings copyStartupSettings() {
  try {
    return readStartupSettings();
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

const platform::CommandLine& startupCommandLine() { return commandLineCopy(); }

std::string_view startupFailureText(StartupFailure failure) {
  switch (failure) {
    case StartupFailure::commandWords:
      return "\r\nruntime error R6008\r\n- not enough space for arguments\r\n";
    case StartupFailure::environment:
      break;
  }
  return "\r\nruntime error R6009\r\n- not enough space for environment\r\n";
}

void failStartup(StartupFailure failure) {
  const std::string_view text = startupFailureText(failure);
  platform::writeAll(platform::standardHandle(platform::StandardStream::error), text.data(), text.size());
  platform::exitProcess(255);
}

void runProgram(int argc, char** argv, Driver driver) {
  platform::holdControlEvents();
  std::optional<platform::CommandLine> line = platform::commandLine(argc, argv);
  if (!line) failStartup(StartupFailure::commandWords);
  commandLineCopy() = std::move(*line);
  StartupSettings settings = copyStartupSettings();
  setErrorStreamFile(std::move(settings.errorStreamFile));

  platform::makeWriteFailuresReturnErrors();
  platform::handleControlEvents(onConsoleControl);
  if (settings.noErrorDialogs) platform::suppressErrorDialogs();
  platform::maskFloatingPointExceptions();
  setIgnoreProcessorExceptions(settings.ignoreExceptions);
  platform::installExceptionHandler(onProcessorException);

  if (dividerIsFlawed() && !settings.runFlawedDivider) reportStatus(status::flawedDivider, {});

  driver();
  endProgram();
}

}  // namespace quadrel
