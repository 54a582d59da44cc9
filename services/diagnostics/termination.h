// The ways in which the process ends.
//
// Whoever owns files registers with the ending what must happen to them
// before every report (their completed output written) and at the exit
// (closed). Every way of ending, the normal end, a rejected pair, a severe
// report, a console control event and a processor exception, then writes
// every completed request to its file exactly once and closes every file
// once, however the run ends; each erases the progress line (progress.h)
// before it writes anything on the console.
//
// An ending made by ordinary code on the owner thread (see platform.h) uses
// the ordinary steps, which can report what fails. A control event or a
// processor exception may come at any instant, inside a unit operation or
// inside another ending that has come to a halt: its ending takes the
// owner thread out of play (it runs on it, interrupting it, or stops it)
// and uses the steps made for that, which take no lock and allocate
// nothing. It waits for no other thread's work, only, from another
// thread, until the owner thread has stopped.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quadrel {

// An owner without output of its own to save leaves those steps null.
struct EndingHooks {
  // Ordinary code on the owner thread; a failure is reported, and a severe
  // one ends the process.
  void (*saveOutput)();  // writes every completed request to its file
  void (*close)();       // closes every file, once
  // The same steps when the owner thread can no longer run: async-signal-
  // safe, failures ignored. Safe whatever instant the owner stopped at.
  void (*saveOutputAtOnce)();
  void (*closeAtOnce)();
};

// Registers the steps for the files of the owner; `order` is the number of
// its first unit, and the files are closed in that order. `hooks` must live
// for the whole process. Registering the same hooks again does nothing.
void registerEndingHooks(int order, const EndingHooks& hooks);

// Writes the completed output of every registered owner to its files: done
// before every report and every console record, so that no later record
// can claim a success that a failing write belies.
void saveCompletedOutput();

// Ends the run after a rejected input pair: no text, status 0.
[[noreturn]] void stopRun();

// Ends the run after the driver has returned: status 0.
[[noreturn]] void endProgram();

// Saves the output, closes every file and ends the process with `status`:
// the exit of every ordinary ending. The closing runs once; a severe report
// made by it ends the process from inside with that report's code.
[[noreturn]] void endProcess(std::uint32_t status);

// The console control handler: reports the event and ends the process with
// the event number as status.
[[noreturn]] void onConsoleControl(int event);

// The processor exception guard: writes the exception's text on standard
// output and ends the process with status 0; under FOR_IGNORE_EXCEPTIONS
// writes nothing and returns, passing the exception on, once the output is
// saved and the files closed.
void onProcessorException(platform::ProcessorException exception);

// Set once at start-up from FOR_IGNORE_EXCEPTIONS, before the guard is
// installed: the environment cannot be read inside a signal handler.
void setIgnoreProcessorExceptions(bool ignore);

}  // namespace quadrel
