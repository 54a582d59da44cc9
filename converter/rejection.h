// Ending the run after an input pair has been rejected.
#pragma once

#include <string_view>

namespace quadrel {

// Writes `message` as one error record and stops the run with status 0.
[[noreturn]] void rejectInputPair(std::string_view message);

}  // namespace quadrel
