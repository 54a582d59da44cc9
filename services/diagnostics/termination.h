// The ways in which the process ends.
//
// Every one of them closes every connected unit exactly once before the
// process exits, so completed output reaches its file however the run ends.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace quadrel {

// Closes every connected unit in table order, skipping a unit that another
// thread is using. Runs at most once per process; returns 0.
int closeAllUnitsAtExit();

// Ends the run after a rejected input pair: no text, status 0.
[[noreturn]] void stopRun(std::string_view text = {});

// Ends the run after the driver has returned: status 0.
[[noreturn]] void endProgram();

// Closes every unit and ends the process with `status`. The single exit of
// every orderly ending; only one thread ever gets past its start.
[[noreturn]] void endProcess(std::uint32_t status);

// The console control handler: reports the event, closes the units not in
// use, and ends the process with the event number as status.
[[noreturn]] void onConsoleControl(int event);

// The processor exception guard around the driver.
void onProcessorException(platform::ProcessorException exception);

// True when the termination of the process has begun on some thread.
bool terminationStarted();

}  // namespace quadrel
