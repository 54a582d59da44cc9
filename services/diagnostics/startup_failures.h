// The texts of a failed run-time start-up, written before anything else.
#pragma once

#include <string_view>

namespace quadrel {

enum class StartupFailure { heap, lowLevelHandles, standardStreams, commandWords, environment };

// The raw bytes written to standard error: CR LF, "runtime error ", the
// number, CR LF, the description, CR LF. Static text: writing it needs no
// allocation, as it is written when allocation has just failed.
std::string_view startupFailureText(StartupFailure failure);

// Writes the text to the standard error handle untranslated and ends the
// process with status 255.
[[noreturn]] void failStartup(StartupFailure failure);

}  // namespace quadrel
