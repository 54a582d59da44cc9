// Failure reports: their texts, the error stream, and the reports of failed
// unit operations.
#include "services/diagnostics/reports.h"

#include <atomic>
#include <cstdint>

#include "services/diagnostics/progress.h"
#include "services/diagnostics/settings.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

// ---- Text builders, shared by the ordinary reports (into a std::string) and
// the reports of an ending at once (into a FixedReport).

template <typename Out>
void appendDecimal(Out& out, std::int64_t value) {
  if (value < 0) out += '-';
  appendNumber(
      out, value < 0 ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value), 10);
}

template <typename Out>
void appendArgument(Out& out, const ReportArgument& argument) {
  if (const auto* number = std::get_if<std::int32_t>(&argument)) {
    appendDecimal(out, *number);
  } else {
    out += std::get<std::string_view>(argument);
  }
}

template <typename Out>
void appendFilledTemplate(Out& out, std::string_view text, std::span<const ReportArgument> arguments) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char conversion = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] != '%' ||
        (conversion != 'd' && conversion != 'i' && conversion != 's' && conversion != '%')) {
      out += text[i];
      continue;
    }
    ++i;
    if (conversion == '%') {
      out += '%';
    } else if (next < arguments.size()) {
      appendArgument(out, arguments[next++]);
    }
  }
}

// The template is taken literally before it is filled, so a "%" inside a
// file name is printed as it is.
template <typename Out>
void appendCatalogueLine(Out& out, StatusCode code, std::span<const ReportArgument> arguments) {
  out += severityPrefix(code.severity());
  out += " (";
  appendDecimal(out, code.number());
  out += "): ";
  appendFilledTemplate(out, messageTemplate(code), arguments);
}

template <typename Out>
void appendTextStream(Out& out, std::string_view bytes) {
  for (char c : bytes) {
    if (c == '\n') out += '\r';
    out += c;
  }
}

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

std::string_view exceptionText(platform::ExceptionKind kind) {
  using platform::ExceptionKind;
  switch (kind) {
    case ExceptionKind::datatypeMisalignment:
      return "forrtl: severe: Program Exception - datatype misalignment";
    case ExceptionKind::breakpoint:
      return "forrtl: severe: Program Exception - breakpoint";
    case ExceptionKind::singleStep:
      return "forrtl: severe: Program Exception - single step";
    case ExceptionKind::accessViolation:
      return "forrtl: severe: Program Exception - access violation";
    case ExceptionKind::inPageError:
      return "forrtl: severe: Program Exception - in page error";
    case ExceptionKind::illegalInstruction:
      return "forrtl: severe: Program Exception - illegal instruction";
    case ExceptionKind::noncontinuable:
      return "forrtl: severe: Program Exception - noncontinuable exception";
    case ExceptionKind::invalidDisposition:
      return "forrtl: severe: Program Exception - invalid disposition";
    case ExceptionKind::arrayBoundsExceeded:
      return "forrtl: severe: Program Exception - array bounds exceeded";
    case ExceptionKind::integerDivideByZero:
      return "forrtl: severe: Program Exception - integer divide by zero";
    case ExceptionKind::integerOverflow:
      return "forrtl: severe: Program Exception - integer overflow";
    case ExceptionKind::privilegedInstruction:
      return "forrtl: severe: Program Exception - privileged instruction";
    case ExceptionKind::stackOverflow:
      return "forrtl: severe: Program Exception - stack overflow";
    case ExceptionKind::other:
      break;
  }
  return {};
}

// ---- The error stream.
//
// Its redirection is looked at once, by the first report of the process.
// That report may be made by ordinary code or by an ending at once, and the
// opening may wait for good (a FIFO that nobody reads): an ending that finds
// it still under way writes nothing rather than wait (termination.h).

enum StreamState : int { unchecked, opening, ready, lost };

std::atomic<int> streamState{unchecked};
std::optional<std::string> redirection;
bool redirectionTaken = false;

// Async-signal-safe once start-up has taken the redirection.
StreamState streamStateAfterCheck() {
  int state = unchecked;
  if (!streamState.compare_exchange_strong(state, opening)) return static_cast<StreamState>(state);
  const bool refused = redirection && platform::redirectStandardError(*redirection) != 0;
  streamState.store(refused ? lost : ready);
  return refused ? lost : ready;
}

void writeStreamBytes(std::string_view bytes) {
  platform::writeAll(platform::standardHandle(platform::StandardStream::error), bytes.data(), bytes.size());
}

// Writes the lines of one report with a single write, then ends the process
// when the code is severe.
int finishReport(StatusCode code, const std::string& lines) {
  writeToErrorStream(lines);
  if (code.severity() == Severity::severe) endProcess(code.value);
  return code.number();
}

}  // namespace

// ---- Texts --------------------------------------------------------------------------

std::string fillTemplate(std::string_view text, std::span<const ReportArgument> arguments) {
  std::string out;
  out.reserve(text.size() + 64);
  appendFilledTemplate(out, text, arguments);
  return out;
}

std::string catalogueLine(StatusCode code, std::span<const ReportArgument> arguments) {
  std::string line;
  appendCatalogueLine(line, code, arguments);
  return line;
}

std::string systemErrorLine(platform::SystemError error, const std::optional<std::string>& text) {
  std::string line = "forrtl: ";
  if (text) {
    line += *text;
  } else {
    line += "FormatMessage failed for sysmem message number ";
    appendDecimal(line, static_cast<std::int32_t>(error));
  }
  return line;
}

std::string reportedFileName(const UnitRecord& unit) {
  if (!unit.fileName) return "\"Unknown\"";
  const std::string& name = *unit.fileName;
  return name.substr(0, name.find('\0'));
}

std::string toTextStream(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  appendTextStream(out, bytes);
  return out;
}

FixedReport controlEventReport(int event) {
  FixedReport line;
  const ReportArgument name[] = {eventName(event)};
  appendCatalogueLine(line, status::controlEvent, name);
  FixedReport report;
  appendTextStream(report, line.text());
  return report;
}

FixedReport exceptionReport(platform::ProcessorException exception) {
  FixedReport report;
  if (exception.kind != platform::ExceptionKind::other) {
    report += exceptionText(exception.kind);
  } else {
    const std::uint32_t low = exception.code & 0xFFFF;
    report += "forrtl: severe: Program Exception, exception code = 0x";
    appendNumber(report, low, 16);
    report += " (";
    appendNumber(report, low, 10);
    report += ") ";
  }
  report += "\r\n";
  return report;
}

// ---- The error stream ---------------------------------------------------------------

void setErrorStreamFile(std::optional<std::string> path) {
  redirection = std::move(path);
  redirectionTaken = true;
}

// In-process callers that never ran the start-up look FORT0 up here; set
// at all counts, the empty value included.
bool errorStreamRedirected() {
  if (!redirectionTaken) setErrorStreamFile(errorStreamFileSetting());
  return redirection.has_value();
}

void writeToErrorStream(std::string_view bytes) {
  errorStreamRedirected();  // takes FORT0 if the start-up did not
  if (streamStateAfterCheck() != ready) return;
  eraseProgressLine();
  writeStreamBytes(toTextStream(bytes));
}

void writeToErrorStreamAtOnce(std::string_view bytes) {
  if (streamStateAfterCheck() == ready) writeStreamBytes(bytes);
}

void prepareErrorStream() { streamStateAfterCheck(); }

// ---- Reports ----------------------------------------------------------------------------

// The system error line, when there is one, and the catalogue line go out
// together, so that nothing can come between them.
int reportUnitFailure(UnitRecord& unit, StatusCode code) {
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

void failUnitCall(UnitRecord& unit, StatusCode code, platform::SystemError error) {
  unit.savedSystemError = error;
  failUnit(unit, code);
}

int reportStatus(StatusCode code, std::initializer_list<ReportArgument> arguments) {
  saveCompletedOutput();
  return finishReport(code, catalogueLine(code, {arguments.begin(), arguments.size()}));
}

StatusCode openFailureStatus(platform::SystemError error) {
  switch (platform::classifyOpenError(error)) {
    case platform::OpenFailure::notFound:
      return status::fileNotFound;
    case platform::OpenFailure::accessDenied:
      return status::permissionDenied;
    case platform::OpenFailure::noSuchDevice:
      return status::noSuchDevice;
    case platform::OpenFailure::badName:
      return status::fileNameError;
    case platform::OpenFailure::other:
      break;
  }
  return status::openFailure;
}

}  // namespace quadrel
