// Failure reports: the one place where a failure turns into text.
//
// Reports go to the standard error stream, which is a text stream: every LF
// written becomes CR LF. Before any report, the completed output of every
// binary unit is written to its file.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "platform/platform.h"
#include "services/diagnostics/status_code.h"
#include "services/diagnostics/unit_record.h"

namespace quadrel {

using ReportArgument = std::variant<std::int32_t, std::string_view>;

// Reports a failed operation on `unit`: the system error line first when one
// was saved (then cleared), then the catalogue line with the unit number and
// the unit's file name. A severe code closes every unit and ends the process
// with the code as exit status; other classes return the message number.
int reportUnitFailure(UnitRecord& unit, StatusCode code);

// The same for a code that always ends the process.
[[noreturn]] void failUnit(UnitRecord& unit, StatusCode code);

// Writes the catalogue line for `code` with its arguments filled in; ends
// the process after closing every unit when the code is severe.
int reportStatus(StatusCode code, std::initializer_list<ReportArgument> arguments);

// Writes "forrtl: " and the platform's text for `error`.
void reportSystemError(platform::SystemError error);

}  // namespace quadrel
