// Boolean settings taken from the environment.
#pragma once

#include <optional>
#include <string_view>

namespace quadrel {

// The rule for a flag's value: empty is false; a first character of t or y
// (either case) is true; all decimal digits is true when not zero; anything
// else is false.
bool flagValueIsSet(std::optional<std::string_view> value);

// Looks the variable up (name matched without regard to case) and applies
// flagValueIsSet.
bool envFlagIsSet(std::string_view name);

}  // namespace quadrel
