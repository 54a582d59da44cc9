// Process start-up: the settings in their order, the driver, the end.
#include "services/diagnostics/startup.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "services/diagnostics/reports.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

struct EnvironmentSettings {
  bool noErrorDialogs = false;
  bool ignoreExceptions = false;
  bool runFlawedDivider = false;
  std::optional<std::string> errorStreamFile;  // FORT0: set at all counts
};

platform::CommandLine& commandLineCopy() {
  static platform::CommandLine line;
  return line;
}

EnvironmentSettings copyEnvironmentSettings() {
  try {
    return {envFlagIsSet("FOR_NOERROR_DIALOGS"), envFlagIsSet("FOR_IGNORE_EXCEPTIONS"),
            envFlagIsSet("FOR_RUN_FLAWED_PENTIUM"), platform::environmentValue("FORT0")};
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

bool flagValueIsSet(std::optional<std::string_view> value) {
  if (!value || value->empty()) return false;
  const char first = value->front();
  if (first == 't' || first == 'T' || first == 'y' || first == 'Y') return true;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (!std::all_of(value->begin(), value->end(), isDigit)) return false;
  // A number of any length is not 0 when one of its digits is not.
  return value->find_first_not_of('0') != std::string_view::npos;
}

bool envFlagIsSet(std::string_view name) {
  const std::optional<std::string> value = platform::environmentValue(name);
  if (!value) return false;
  return flagValueIsSet(std::string_view(*value));
}

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
  EnvironmentSettings settings = copyEnvironmentSettings();
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
