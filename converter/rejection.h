// Ending the run after an input pair has been rejected.
#pragma once

#include <optional>
#include <string_view>

namespace quadrel {

// The message of a failed check; nothing when the check passed.
using Rejection = std::optional<std::string_view>;

// Writes `message` as one error record and stops the run with status 0.
[[noreturn]] void rejectInputPair(std::string_view message);

// Rejects the pair with the message of a failed check.
void rejectIf(Rejection rejection);

}  // namespace quadrel
