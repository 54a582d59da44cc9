// Failure reports: the system error line and the catalogue line.
#include "services/diagnostics/report.h"

#include <string>

#include "services/diagnostics/error_stream.h"
#include "services/diagnostics/report_text.h"
#include "services/diagnostics/termination.h"
#include "services/diagnostics/termination_owner.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

// Set while this thread writes out the binary units before a report, so that
// a failure reported by that writing does not start it again.
thread_local bool savingOutput = false;

// Completed output reaches its file before any report appears.
void saveCompletedOutput() {
  if (savingOutput) return;
  savingOutput = true;
  flushBinaryUnits();
  savingOutput = false;
}

// A severe report ends the process, so it claims the ending before it writes
// anything; no report is written once another thread is ending the process.
void beginReport(bool endsProcess) {
  if (endsProcess) {
    claimTermination();
  } else if (terminationOwnedElsewhere()) {
    platform::parkForever();
  }
}

}  // namespace

int reportUnitFailure(UnitRecord& unit, StatusCode code) {
  beginReport(code.severity() == Severity::severe);
  saveCompletedOutput();
  const std::string fileName = reportedFileName(unit);
  if (unit.savedSystemError != 0) {
    const platform::SystemError error = unit.savedSystemError;
    unit.savedSystemError = 0;
    reportSystemError(error);
  }
  return reportStatus(code, {unit.number, std::string_view(fileName)});
}

void failUnit(UnitRecord& unit, StatusCode code) {
  reportUnitFailure(unit, code);
  endProcess(code.value);
}

int reportStatus(StatusCode code, std::initializer_list<ReportArgument> arguments) {
  beginReport(code.severity() == Severity::severe);
  saveCompletedOutput();
  writeToErrorStream(catalogueLine(code, {arguments.begin(), arguments.size()}));
  if (code.severity() == Severity::severe) endProcess(code.value);
  return code.number();
}

void reportSystemError(platform::SystemError error) {
  beginReport(false);
  saveCompletedOutput();
  writeToErrorStream(systemErrorLine(error, platform::errorText(error)));
}

}  // namespace quadrel
