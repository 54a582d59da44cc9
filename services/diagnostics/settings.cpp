// The environment reads, each by the variable's own name.
#include "services/diagnostics/settings.h"

#include <algorithm>

#include "platform/platform.h"

namespace quadrel {

StartupSettings readStartupSettings() {
  return {envFlagIsSet("FOR_NOERROR_DIALOGS"), envFlagIsSet("FOR_IGNORE_EXCEPTIONS"),
          envFlagIsSet("FOR_RUN_FLAWED_PENTIUM"), errorStreamFileSetting()};
}

std::optional<std::string> errorStreamFileSetting() { return platform::environmentValue("FORT0"); }

std::optional<std::string> consoleInputFileSetting() { return platform::environmentValue("FORT5"); }

std::optional<std::string> consoleOutputFileSetting() { return platform::environmentValue("FORT6"); }

std::optional<std::string> byteOrderSetting(int unit) {
  return platform::environmentValue("FORT_CONVERT" + std::to_string(unit));
}

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

}  // namespace quadrel
