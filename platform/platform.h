// The only header that faces the operating system.
//
// Every call into the operating system that the converter and the services
// make goes through the functions declared here. The POSIX implementation lives
// in platform/posix/, the Windows one in platform/windows/; nothing outside
// platform/ knows which one is built, and nothing in platform/ knows the
// services.
//
// Errors are values here: a failing call returns its system error code
// (errno on POSIX) and never reports, prints or ends anything. Interrupted
// calls and short transfers are handled here once, so callers see exactly
// three outcomes of a transfer: the full count, end of file, an error.
//
// Calls marked async-signal-safe may be made by an ending that interrupted
// or stopped the thread that owns the files: they take no lock and allocate
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel::platform {

using Handle = std::intptr_t;
using SystemError = std::uint32_t;  // 0 means no error

inline constexpr Handle noHandle = -1;

// ---- Standard handles -------------------------------------------------------

enum class StandardStream { input, output, error };

Handle standardHandle(StandardStream stream);

// What kind of object a handle refers to. `disk` is a regular file; a
// terminal is the interactive console; `pipe` covers pipes, FIFOs and sockets.
enum class HandleKind { disk, terminal, pipe, device, directory, unknown };

HandleKind kindOf(Handle handle);

// True when `handle` is the interactive terminal itself (a console on
// Windows), not a file, pipe or device that stands in for it.
bool isTerminal(Handle handle);

// The current size of a file: `size` is nothing when the handle is no disk
// file, and `error` is set when the system cannot tell.
struct SizeResult {
  std::optional<std::int64_t> size;
  SystemError error = 0;
};
SizeResult sizeOf(Handle handle);

// ---- Transfers ----------------------------------------------------------

struct TransferResult {
  std::size_t count = 0;  // bytes moved before the end or the error
  SystemError error = 0;  // 0 when the call succeeded
};

// One read: up to `size` bytes, fewer when fewer are available. A count of 0
// with no error is the end of the data; for a pipe, its writer has closed it.
TransferResult readSome(Handle handle, void* buffer, std::size_t size);

// Reads `size` bytes at a fixed offset of a regular file without moving the
// file position; fewer only where the file ends.
TransferResult readAt(Handle handle, void* buffer, std::size_t size, std::int64_t offset);

// The file position of a regular file; nothing when the system cannot tell.
std::optional<std::int64_t> positionOf(Handle handle);

// Writes every byte, continuing short writes; stops at the first failing call.
TransferResult writeAll(Handle handle, const void* bytes, std::size_t size);

// Writes every byte at a fixed offset without moving the file position.
// Async-signal-safe.
TransferResult writeAllAt(Handle handle, const void* bytes, std::size_t size, std::int64_t offset);

// Copies up to `size` bytes inside the system, from the position of `from`
// (which moves on) to `offset` in `to`. A count of 0 with no error: `from`
// is at its end. Where the system cannot copy between these two files, an
// error and nothing copied; the caller then copies through its buffers.
TransferResult copyRange(Handle from, Handle to, std::int64_t offset, std::size_t size);

// Sets the file length. Async-signal-safe.
SystemError cutAt(Handle handle, std::int64_t length);

// Moves the file position to byte 0.
SystemError rewind(Handle handle);

// Moves the file position of a regular file `count` bytes on, past its end
// if asked: a read there finds the end.
SystemError moveForward(Handle handle, std::int64_t count);

// Closes a handle. Async-signal-safe.
SystemError closeHandle(Handle handle);

// ---- Memory ---------------------------------------------------------------

// A buffer for bulk transfers of `size` bytes, laid out so that the system
// can back it with large pages where it offers them: copies through it then
// miss the address translation caches far less. Nothing when there is no
// memory. Give it back with releaseBuffer and the same size.
std::byte* allocateBuffer(std::size_t size);
void releaseBuffer(std::byte* buffer, std::size_t size);

// ---- Files ----------------------------------------------------------------

enum class OpenPurpose {
  read,   // an existing file, read only, others may read but not write
  write,  // created when absent, contents kept, write only, exclusive
};

// Which file an open reached: two opens reach the same file exactly when
// both identities are known and equal.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t object = 0;
  bool known = false;

  bool sameFileAs(const FileIdentity& other) const {
    return known && other.known && device == other.device && object == other.object;
  }
};

// An open, and what the system said about the file as it was opened. An
// open whose file cannot be asked what it is counts as refused.
struct OpenResult {
  Handle handle = noHandle;
  SystemError error = 0;
  HandleKind kind = HandleKind::unknown;
  FileIdentity identity;

  static OpenResult refused(SystemError error) {
    OpenResult result;
    result.error = error;
    return result;
  }
};

// Opens a file by its full path under the sharing rules of `purpose`.
OpenResult openFile(const std::string& path, OpenPurpose purpose);

// Opens the file that replaces standard output (truncated, created when
// absent) or standard input (read only).
OpenResult openConsoleReplacement(const std::string& path, OpenPurpose purpose);

// The error saved when a pipe's writer has gone: a read that meets the end
// of a pipe is a failed read, not the end of the input.
SystemError brokenPipeError();

// The classes into which open failures are sorted for the user.
enum class OpenFailure { notFound, accessDenied, noSuchDevice, badName, other };
OpenFailure classifyOpenError(SystemError error);

// Expands a name against the current directory. Nothing when the expansion
// fails or needs 256 characters or more.
std::optional<std::string> fullPath(const std::string& name);

// The platform path of a reserved device name such as "NUL" or "COM1", or
// nothing when the name is an ordinary file name on this platform.
std::optional<std::string> devicePath(std::string_view upperCaseName);

// The error recorded when an open is refused because another open of the
// file conflicts with its sharing rules.
SystemError sharingViolationError();

// ---- Standard error -------------------------------------------------------

// Reopens standard error for appending on `path` (created when absent).
// Async-signal-safe on POSIX.
SystemError redirectStandardError(const std::string& path);

// The platform's description of an error code with its own line end, or
// nothing when the platform has no text for it.
std::optional<std::string> errorText(SystemError error);

// ---- Process --------------------------------------------------------------

// The command line as the system hands it to the program: its words where
// the system passes a word list (`argc` and `argv`), or the one text that
// the program splits itself where the system keeps it as one string.
struct CommandLine {
  std::vector<std::string> words;
  std::optional<std::string> text;
};

// Nothing when the command line cannot be stored.
std::optional<CommandLine> commandLine(int argc, char** argv);

// True when `byte` leads a double-byte character in the active code page.
bool isLeadByte(unsigned char byte);

// The value of an environment variable; the name is matched without regard
// to case. Nothing when the variable is absent.
std::optional<std::string> environmentValue(std::string_view name);

// Milliseconds on a clock that never goes back, from an unspecified start.
std::uint64_t monotonicMilliseconds();

// Ends the process at once with `status`. Async-signal-safe.
[[noreturn]] void exitProcess(std::uint32_t status);

// Masks every floating-point exception so real arithmetic never traps.
void maskFloatingPointExceptions();

// Tells the platform not to show dialogs of its own for critical errors.
void suppressErrorDialogs();

// Makes a write to a pipe that nobody reads, or past the file-size limit,
// fail with its error code instead of ending the process.
void makeWriteFailuresReturnErrors();

// Runs `body(context)` on a helper thread of its own, which no control
// event or signal interrupts, so that every ending still runs on or stops
// the owner thread. The body must make no access that could fault. False
// when the system cannot start a thread.
bool startHelperThread(void (*body)(void*), void* context);

// ---- Console control events and processor exceptions ------------------------

// Events: 0 control-C, 1 control-BREAK, 2 close, other numbers as received.
// The handler ends the process and never returns.
using ControlHandler = void (*)(int event);

// Holds back the console control events that come before the handler is in
// place, the first thing at start-up: handleControlEvents then takes them,
// where otherwise they would end the process by the system's default.
void holdControlEvents();

// Takes the console control events from now on and makes the calling thread
// the owner thread: the one that runs the program and owns its files. On
// POSIX the handler runs on the owner thread, interrupting it wherever it
// is; on Windows the system runs it on a thread of its own.
void handleControlEvents(ControlHandler handler);

// True on the owner thread. Async-signal-safe.
bool onOwnerThread();

// Called from another thread: returns once the owner thread is stopped and
// can run no further, wherever it was. The ending that calls it exits the
// process, so the owner is never resumed.
void stopOwnerThread();

// What a processor exception was; `code` is the platform's exception code.
enum class ExceptionKind {
  datatypeMisalignment,
  breakpoint,
  singleStep,
  accessViolation,
  inPageError,
  illegalInstruction,
  noncontinuable,
  invalidDisposition,
  arrayBoundsExceeded,
  integerDivideByZero,
  integerOverflow,
  privilegedInstruction,
  stackOverflow,
  other,
};

struct ProcessorException {
  ExceptionKind kind;
  std::uint32_t code;
};

// Runs on the faulting thread, on a stack of its own, so it may only use
// async-signal-safe calls. Returning passes the exception on to the
// handling in place before the guard (passExceptionOn).
using ExceptionHandler = void (*)(ProcessorException exception);

void installExceptionHandler(ExceptionHandler handler);

// Makes the exception that the handler is looking at take, once the
// handler returns, the course it had before installExceptionHandler: the
// handling then in place, or the default when there was none or it ignored
// the exception.
void passExceptionOn(ProcessorException exception);

}  // namespace quadrel::platform
