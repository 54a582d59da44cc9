// Process services on Windows: command line, environment, clock, exit,
// error texts, standard error redirection, floating-point control, the error
// mode, console control events and processor exceptions.
//
// The system runs a console control handler on a thread that it starts for
// the event; the handler registered here calls the program's handler, which
// ends the process and never returns. Processor exceptions reach the
// unhandled-exception filter on the faulting thread once no frame has taken
// them; when the program's handler returns, the exception is passed on to
// the filter that was in place before, or to the system's default handling.
#include <array>
#include <new>
#include <utility>

#include <float.h>

#include "platform/windows/win32.h"

namespace quadrel::platform {
namespace {

using windows::lastError;

constexpr DWORD longestErrorText = 1024;

// The longest program path taken when the command line is empty.
constexpr DWORD longestModulePath = 260;

// Critical errors, unhandled exceptions and files that cannot be opened
// show no dialog of the system.
constexpr UINT noDialogs = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
static_assert(noDialogs == 0x8003);

// Registrations, each made once at start-up before the handler that reads
// it is in place (the rules of the endings: services/diagnostics/termination.h).
ControlHandler controlHandler = nullptr;
ExceptionHandler exceptionHandler = nullptr;
DWORD ownerThreadId = 0;
HANDLE ownerThread = nullptr;

// Stack kept back for the filter when the main thread runs off its stack.
constexpr ULONG stackKeptForOverflow = 64 * 1024;

BOOL WINAPI onControlEvent(DWORD event) {
  controlHandler(static_cast<int>(event));
  return TRUE;
}

// The filter in place before the guard's, kept so that an exception passed
// on takes the course it had before.
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* pointers) {
  const auto code = static_cast<std::uint32_t>(pointers->ExceptionRecord->ExceptionCode);
  exceptionHandler({windows::exceptionKindOf(code), code});
  if (previousFilter != nullptr && previousFilter != onUnhandledException) return previousFilter(pointers);
  return EXCEPTION_CONTINUE_SEARCH;
}

struct KindByCode {
  std::uint16_t low;
  ExceptionKind kind;
};

// The low 16 bits of the system's exception codes (EXCEPTION_* in winnt.h).
constexpr std::array<KindByCode, 13> kindsByCode{{
    {0x0002, ExceptionKind::datatypeMisalignment},
    {0x0003, ExceptionKind::breakpoint},
    {0x0004, ExceptionKind::singleStep},
    {0x0005, ExceptionKind::accessViolation},
    {0x0006, ExceptionKind::inPageError},
    {0x001D, ExceptionKind::illegalInstruction},
    {0x0025, ExceptionKind::noncontinuable},
    {0x0026, ExceptionKind::invalidDisposition},
    {0x008C, ExceptionKind::arrayBoundsExceeded},
    {0x0094, ExceptionKind::integerDivideByZero},
    {0x0095, ExceptionKind::integerOverflow},
    {0x0096, ExceptionKind::privilegedInstruction},
    {0x00FD, ExceptionKind::stackOverflow},
}};

}  // namespace

namespace windows {

ExceptionKind exceptionKindOf(std::uint32_t code) {
  for (const KindByCode& entry : kindsByCode) {
    if (entry.low == (code & 0xFFFF)) return entry.kind;
  }
  return ExceptionKind::other;
}

}  // namespace windows

// ---- Command line and environment ----------------------------------------------

// The system hands the program one string; the program splits it itself.
std::optional<CommandLine> commandLine(int, char**) {
  try {
    const char* line = GetCommandLineA();
    std::string text = line != nullptr ? line : "";
    if (text.empty()) {
      char path[longestModulePath];
      const DWORD length = GetModuleFileNameA(nullptr, path, longestModulePath);
      text.assign(path, length);
    }
    return CommandLine{{}, std::move(text)};
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

// The system compares environment names without regard to case.
std::optional<std::string> environmentValue(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) return std::nullopt;
  const std::string variable(name);
  std::string value;
  DWORD size = 0;
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(variable.c_str(), value.data(), size);
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < size) {
      value.resize(length);
      return value;
    }
    // Too small: the answer is the size needed, its terminator included.
    size = length;
    value.resize(size);
  }
}

// ---- Clock, exit and settings ------------------------------------------------------

std::uint64_t monotonicMilliseconds() { return GetTickCount64(); }

// Ends the process at once, like _exit: no library shutdown and no detaching
// of libraries, which could wait for a lock that a stopped thread holds;
// every byte the program writes has already been written.
void exitProcess(std::uint32_t status) {
  TerminateProcess(GetCurrentProcess(), status);
  ExitProcess(status);
}

void maskFloatingPointExceptions() { _controlfp(_MCW_EM, _MCW_EM); }

void suppressErrorDialogs() { SetErrorMode(noDialogs); }

void makeWriteFailuresReturnErrors() {
  // A write to a pipe that nobody reads already fails with its error code.
}

namespace {

struct HelperStart {
  void (*body)(void*);
  void* context;
};

DWORD WINAPI runHelper(LPVOID start) {
  const HelperStart helper = *static_cast<HelperStart*>(start);
  delete static_cast<HelperStart*>(start);
  helper.body(helper.context);
  return 0;
}

}  // namespace

// Control events arrive on a thread of the system's own, never on this one.
bool startHelperThread(void (*body)(void*), void* context) {
  auto* start = new (std::nothrow) HelperStart{body, context};
  if (start == nullptr) return false;
  HANDLE thread = CreateThread(nullptr, 0, runHelper, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  CloseHandle(thread);
  return true;
}

// ---- Error texts and standard error ---------------------------------------------

// The system's own text in the neutral language, with its own line end.
std::optional<std::string> errorText(SystemError error) {
  char buffer[longestErrorText];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), buffer, longestErrorText, nullptr);
  if (length == 0) return std::nullopt;
  return std::string(buffer, length);
}

// Later writes to standard error append to the file; the handle it replaces
// stays open, as the console or a parent may still use it.
SystemError redirectStandardError(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  if (!SetStdHandle(STD_ERROR_HANDLE, file)) {
    const SystemError error = lastError();
    CloseHandle(file);
    return error;
  }
  return 0;
}

// ---- Control events and processor exceptions -----------------------------------------

// The console's events reach the handler from its registration on, which
// is the start-up's first step: there is nothing to hold.
void holdControlEvents() {}

void handleControlEvents(ControlHandler handler) {
  controlHandler = handler;
  ownerThreadId = GetCurrentThreadId();
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &ownerThread,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  SetConsoleCtrlHandler(onControlEvent, TRUE);
}

bool onOwnerThread() { return ownerThreadId == 0 || GetCurrentThreadId() == ownerThreadId; }

// SuspendThread only asks for the stop; reading the thread's context waits
// until it has taken effect.
void stopOwnerThread() {
  if (ownerThread == nullptr || onOwnerThread()) return;
  if (SuspendThread(ownerThread) == static_cast<DWORD>(-1)) return;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  GetThreadContext(ownerThread, &context);
}

void installExceptionHandler(ExceptionHandler handler) {
  exceptionHandler = handler;
  ULONG kept = stackKeptForOverflow;
  SetThreadStackGuarantee(&kept);
  previousFilter = SetUnhandledExceptionFilter(onUnhandledException);
}

void passExceptionOn(ProcessorException) {
  // The filter hands the exception to the previous filter, or answers
  // EXCEPTION_CONTINUE_SEARCH, once the handler returns.
}

}  // namespace quadrel::platform
