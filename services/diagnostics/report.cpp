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

// Writes the lines of one report with a single write, then ends the process
// when the code is severe.
int finishReport(StatusCode code, const std::string& lines) {
  writeToErrorStream(lines);
  if (code.severity() == Severity::severe) endProcess(code.value);
  return code.number();
}

}  // namespace

// The system error line, when there is one, and the catalogue line go out
// together, so that no other thread's report can come between them.
int reportUnitFailure(UnitRecord& unit, StatusCode code) {
  beginReport(code.severity() == Severity::severe);
  saveCompletedOutput();
  const std::string fileName = reportedFileName(unit);
  std::string lines;
  if (unit.savedSystemError != 0) {
    const platform::SystemError error = unit.savedSystemError;
    unit.savedSystemError = 0;
    lines = systemErrorLine(error, platform::errorText(error));
  }
  const ReportArgument arguments[] = {unit.number, std::string_view(fileName)};
  lines += catalogueLine(code, arguments);
  return finishReport(code, lines);
}

void failUnit(UnitRecord& unit, StatusCode code) {
  reportUnitFailure(unit, code);
  endProcess(code.value);
}

int reportStatus(StatusCode code, std::initializer_list<ReportArgument> arguments) {
  beginReport(code.severity() == Severity::severe);
  saveCompletedOutput();
  return finishReport(code, catalogueLine(code, {arguments.begin(), arguments.size()}));
}

void reportSystemError(platform::SystemError error) {
  beginReport(false);
  saveCompletedOutput();
  writeToErrorStream(systemErrorLine(error, platform::errorText(error)));
}

}  // namespace quadrel
