// The only header that faces the operating system.
//
// Every call into the operating system that the converter and the services
// make goes through the functions declared here. The POSIX implementation lives
// in platform/posix/; a Windows one can stand beside it behind this same
// header. Nothing outside platform/ knows which one is built.
//
// Errors are values here: a failing call returns its system error code
// (errno on POSIX) and never reports, prints or ends anything. Interrupted
// calls and short transfers are handled here once, so callers see exactly
// three outcomes of a transfer: the full count, end of file, an error.
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
bool isStandardHandle(Handle handle);

// What kind of object a handle refers to. `disk` is a regular file; a
// terminal is the interactive console; `pipe` covers pipes, FIFOs and sockets.
enum class HandleKind { disk, terminal, pipe, device, directory, unknown };

HandleKind kindOf(Handle handle);

// ---- Transfers ----------------------------------------------------------

struct TransferResult {
  std::size_t count = 0;  // bytes moved before the end or the error
  SystemError error = 0;  // 0 when the call succeeded
};

// One read: up to `size` bytes, fewer when fewer are available. A count of 0
// with no error is the end of the data.
TransferResult readSome(Handle handle, void* buffer, std::size_t size);

// Writes every byte, continuing short writes; stops at the first failing call.
TransferResult writeAll(Handle handle, const void* bytes, std::size_t size);

// Writes every byte at a fixed offset without moving the file position.
// Async-signal-safe: the exception path uses it to save completed output.
TransferResult writeAllAt(Handle handle, const void* bytes, std::size_t size, std::int64_t offset);

// Sets the file length. Async-signal-safe.
SystemError cutAt(Handle handle, std::int64_t length);

// Moves the file position to byte 0.
SystemError rewind(Handle handle);

// The current size of a disk file, or nothing when the handle has no size.
std::optional<std::int64_t> sizeOf(Handle handle);

// Closes a handle. Async-signal-safe.
SystemError closeHandle(Handle handle);

// ---- Files ----------------------------------------------------------------

enum class OpenPurpose {
  read,   // an existing file, read only, others may read but not write
  write,  // created when absent, contents kept, write only, exclusive
};

struct OpenResult {
  Handle handle = noHandle;
  SystemError error = 0;
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

// True when two handles refer to the same file (the same object on the same
// device); false when either cannot be asked.
bool sameFile(Handle first, Handle second);

// The error recorded when an open is refused because another open of the
// file conflicts with its sharing rules.
SystemError sharingViolationError();

// ---- Standard error -------------------------------------------------------

// Reopens standard error for appending on `path` (created when absent).
SystemError redirectStandardError(const std::string& path);

// The platform's description of an error code with its own line end, or
// nothing when the platform has no text for it.
std::optional<std::string> errorText(SystemError error);

// ---- Process --------------------------------------------------------------

// The words of the command line, word 0 the program name. Where the system
// hands the program a word list, that is `argc` and `argv` as given; where it
// hands over one string, the string split into words. Nothing when the words
// cannot be stored.
std::optional<std::vector<std::string>> commandWords(int argc, char** argv);

// The value of an environment variable; the name is matched without regard
// to case. Nothing when the variable is absent.
std::optional<std::string> environmentValue(std::string_view name);

[[noreturn]] void exitProcess(std::uint32_t status);

// Blocks until the process ends: a thread that must never continue.
[[noreturn]] void parkForever();

// Masks every floating-point exception so real arithmetic never traps.
void maskFloatingPointExceptions();

// Tells the platform not to show dialogs of its own for critical errors.
void suppressErrorDialogs();

// Makes a write to a pipe that nobody reads, or past the file-size limit,
// fail with its error code instead of ending the process.
void makeWriteFailuresReturnErrors();

// ---- Console control events and processor exceptions ------------------------

// Events: 0 control-C, 1 control-BREAK, 2 close, other numbers as received.
using ControlHandler = void (*)(int event);

// Starts the thread on which `handler` runs for each console control event.
// Must be called before any other thread exists.
void startControlEventThread(ControlHandler handler);

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
// platform's default handling.
using ExceptionHandler = void (*)(ProcessorException exception);

void installExceptionHandler(ExceptionHandler handler);

// Makes the exception that the handler is looking at take its default
// course once the handler returns.
void passExceptionOn(ProcessorException exception);

}  // namespace quadrel::platform
