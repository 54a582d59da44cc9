// Boolean settings from the environment.
#include "services/diagnostics/env_flags.h"

#include <algorithm>
#include <string>

#include "platform/platform.h"

namespace quadrel {

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
