// Failure reports: the one place where a failure turns into text.
//
// Reports go to the standard error stream, which is a text stream: every LF
// written becomes CR LF. Before any report, the completed output of every
// file reaches its file (see termination.h). The texts are built by pure
// functions, whole in memory, so that each report reaches the stream with a
// single write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/platform.h"
#include "services/diagnostics/catalogue.h"

namespace quadrel {

// What every unit, console or binary, carries for the reports.
struct UnitRecord {
  int number = 0;
  // The name reports print for "file %s"; absent prints "Unknown" in quotes.
  std::optional<std::string> fileName;
  // The platform error of the failing call, 0 = none; cleared when reported.
  platform::SystemError savedSystemError = 0;
};

using ReportArgument = std::variant<std::int32_t, std::string_view>;

// Reports a failed operation on `unit`: the system error line first when one
// was saved (then cleared), then the catalogue line with the unit number and
// the unit's file name. A severe code ends the process with the code as exit
// status; other classes return the message number.
int reportUnitFailure(UnitRecord& unit, StatusCode code);

// The same for a code that always ends the process.
[[noreturn]] void failUnit(UnitRecord& unit, StatusCode code);

// The failure of a platform call on `unit`: keeps the call's system error
// for the report and fails the unit with `code`.
[[noreturn]] void failUnitCall(UnitRecord& unit, StatusCode code, platform::SystemError error);

// Writes the catalogue line for `code` with its arguments filled in; ends
// the process when the code is severe.
int reportStatus(StatusCode code, std::initializer_list<ReportArgument> arguments);

// Sorts the system error of a refused open into its entry: file not found,
// permission denied, no such device, file name error, or open failure.
StatusCode openFailureStatus(platform::SystemError error);

// ---- The error stream ---------------------------------------------------------

// The file that FORT0 names, taken at start-up: the first report of the
// process reopens the error stream on it, and when it cannot be opened the
// reports of the rest of the run go nowhere.
void setErrorStreamFile(std::optional<std::string> path);

// Whether FORT0 sends the reports elsewhere: set at all counts, also to a
// file that cannot be opened.
bool errorStreamRedirected();

// Writes `bytes` to the error stream with one platform write, each LF as
// CR LF, once the progress line is erased. A failing write is ignored:
// there is nowhere left to report it.
void writeToErrorStream(std::string_view bytes);

// The same for bytes already translated, from an ending that interrupted or
// stopped the owner thread: async-signal-safe. Writes nothing while another
// report is still opening the stream, as that may never finish.
void writeToErrorStreamAtOnce(std::string_view bytes);

// Opens the stream named at start-up if no report has done so yet, so that
// a report made later needs no allocation.
void prepareErrorStream();

// ---- Report texts -----------------------------------------------------------------

// Fills a printf-style template: %d and %i take a number, %s a text, %%
// gives "%". An argument of the other kind is printed as it is; a missing
// argument prints nothing; any other conversion is copied literally.
std::string fillTemplate(std::string_view text, std::span<const ReportArgument> arguments);

// The catalogue line of `code`: prefix, " (", number, "): ", filled text.
// The line end is the template's own; no text-stream translation yet.
std::string catalogueLine(StatusCode code, std::span<const ReportArgument> arguments);

// The system error line: "forrtl: " and the platform's `text` as it is, or,
// without a text, the FormatMessage failure text with no line end.
std::string systemErrorLine(platform::SystemError error, const std::optional<std::string>& text);

// What a report prints for "file %s": the unit's name up to its first NUL,
// or "Unknown" in double quotes when the unit has no name.
std::string reportedFileName(const UnitRecord& unit);

// The text-stream translation of the error stream: every LF becomes CR LF.
std::string toTextStream(std::string_view bytes);

// A report built without allocating, for the endings that run inside a
// signal handler or while the owner thread is stopped.
struct FixedReport {
  std::array<char, 128> bytes{};
  std::size_t size = 0;

  std::string_view text() const { return {bytes.data(), size}; }
  FixedReport& operator+=(char c) {
    if (size < bytes.size()) bytes[size++] = c;
    return *this;
  }
  FixedReport& operator+=(std::string_view more) {
    for (char c : more)
      *this += c;
    return *this;
  }
};

// Appends `magnitude` in `base`, 10 or 16 (lower-case digits), to a
// std::string or a FixedReport; allocates nothing of its own.
template <typename Out>
void appendNumber(Out& out, std::uint64_t magnitude, unsigned base) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = "0123456789abcdef"[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  while (count > 0)
    out += digits[--count];
}

// The report of a console control event, as it reaches the error stream:
// "forrtl: error (200): program aborting due to control-C event" and the
// translated line end.
FixedReport controlEventReport(int event);

// The text written on standard output for a processor exception, chosen by
// its kind, and CR LF; "other" shows the low 16 bits of the code in
// hexadecimal and in decimal.
FixedReport exceptionReport(platform::ProcessorException exception);

}  // namespace quadrel
