// Process start-up: the settings made before the driver runs, and the
// wrapper that runs the driver and ends the process.
#pragma once

namespace quadrel {

using Driver = void (*)();

// Copies the command-line words and the environment flags, registers the
// console control handler, applies the error-dialog and floating-point
// settings, installs the processor exception guard, runs the divider check,
// runs `driver` and ends the process. Never returns.
[[noreturn]] void runProgram(int argc, char** argv, Driver driver);

}  // namespace quadrel
