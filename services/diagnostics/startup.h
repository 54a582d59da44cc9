// Process start-up: the settings made before the driver runs, the wrapper
// that runs the driver and ends the process, and the failures of a start-up
// that cannot get its memory.
#pragma once

#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "services/diagnostics/settings.h"  // the settings it copies, and the flag rule

namespace quadrel {

using Driver = void (*)();

// Copies the command line and the start-up settings (settings.h), takes the console
// control events, applies the error-dialog and floating-point settings,
// installs the processor exception guard, runs the divider check, runs
// `driver` and ends the process. Never returns.
[[noreturn]] void runProgram(int argc, char** argv, Driver driver);

// The command line as the start-up copied it; empty before the start-up.
const platform::CommandLine& startupCommandLine();

enum class StartupFailure { commandWords, environment };

// The raw bytes written to standard error: CR LF, "runtime error ", the
// number, CR LF, the description, CR LF. Static text: writing it needs no
// allocation, as it is written when allocation has just failed.
std::string_view startupFailureText(StartupFailure failure);

// Writes the text to the standard error handle untranslated and ends the
// process with status 255.
[[noreturn]] void failStartup(StartupFailure failure);

}  // namespace quadrel
