// The files that FORT5 and FORT6 put in place of standard input and output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "services/diagnostics/status_code.h"

namespace quadrel {

// The file that the environment variable `variable` names, without leading
// and trailing blanks. Nothing when the variable is absent or empty, as on
// platforms where a variable cannot hold an empty text.
std::optional<std::string> consoleReplacementName(std::string_view variable);

// The catalogue entry for a refused open, by the class of its system error.
StatusCode openFailureStatus(platform::SystemError error);

}  // namespace quadrel
