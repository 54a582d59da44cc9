// The bytes of a report: pure functions, no output.
//
// Reports are assembled whole in memory so that each one reaches the error
// stream with a single write.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "services/diagnostics/report.h"
#include "services/diagnostics/status_code.h"
#include "services/diagnostics/unit_record.h"

namespace quadrel {

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

}  // namespace quadrel
