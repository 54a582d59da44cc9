// The ways in which the process ends, and the rules that let it end at any
// instant.
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
// and uses the steps made for that, the steps "at once", which take no
// lock and allocate nothing. It waits for no other thread's work, only,
// from another thread, until the owner thread has stopped.
//
// ---- The rules of the steps at once. Every file that holds a variable
// named here points back to this list.
//
// Who writes. Only the owner thread writes what an ending at once reads,
// apart from what the endings change themselves: the handle slots, emptied
// by exchange, the error stream's state, moved by compare-exchange, and the
// progress line's flag; so a second ending, which may interrupt the first
// or run beside it on Windows, closes each file and opens the stream once,
// and its writes repeat the first one's bytes. On POSIX the ending runs on the owner thread, inside a signal
// handler; on Windows it runs on another thread once the owner thread is suspended (platform.h). Either way
// the owner makes no store while the ending reads, so each order below only has to hold in the owner's
// program order: the stores are atomic, and lock-free, so that neither the compiler nor a suspension can
// leave one half made.
//
// What is read, and why each order is safe:
//  - The hook slots (termination.cpp): `order` is written before `hooks` is
//    published, and the count last; a slot is read only up to the count.
//    `ignoreExceptions` is set at start-up before the guard is installed.
//  - The error stream (reports.cpp): the redirection is taken at start-up,
//    before any handler, as reading the environment allocates (settings.h);
//    `streamState` moves unchecked, opening, then ready or lost. An ending
//    that finds it opening writes nothing: the open may never finish.
//  - The progress line (progress.cpp): `lineShown` is set before a frame is
//    written and cleared after the erasing, so an ending at any instant
//    erases whatever part of the line is there; erasing twice is harmless.
//  - The console units (console_replacement.h): the handle is stored once
//    the connection is made and emptied by exchange, so exactly one close.
//  - The binary units (unit_table.h, unit_writes.cpp): bytes are copied
//    beyond `published` before it grows; after a platform write `published`
//    drops to 0 before `fileOffset` advances; the cut is disarmed only once
//    made; `gathered` takes the other buffer only after the full one is in
//    flight. So at every instant bytes [0, published) belong at
//    `fileOffset`, and writing them again changes nothing. A request written
//    on its own, past the buffer's size, is its bytes [0, directSize) at
//    `direct`: `directSize` is stored after `direct` and drops to 0 before
//    `fileOffset` advances, and nothing is gathered meanwhile.
//  - The write in flight (write_behind.h): `size_` is stored last and
//    cleared first; the owner leaves the buffer untouched until it has
//    waited for the write, and it cannot wait once stopped or interrupted.
//  - The platform's registrations (platform/*/process.cpp): the handlers,
//    the owner thread's identity, the previous dispositions and the stack
//    bounds are written once, before the handler that reads them is in
//    place; only the previous filter on Windows comes just after, and an
//    exception in that instant takes the default course.
//
// The write-behind thread is not stopped, on Windows either. It writes no
// variable that an ending reads, only its own handover under its own lock,
// which the ending never takes, and the file: the bytes of the write in
// flight, at their offset, which ends where `fileOffset` then stands. The ending writes the same
// bytes at the same offset again, so either order of the two writes leaves
// the file the same; no cut is armed while a write is in flight, so none
// can fall inside it; and the ending opens nothing after closing the files,
// so a handle value that the thread still holds names no other file. The
// exit ends the thread wherever it is.
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

// Set once at start-up from FOR_IGNORE_EXCEPTIONS (settings.h), before the
// guard is installed.
void setIgnoreProcessorExceptions(bool ignore);

}  // namespace quadrel
