// Process services on Windows: environment, exit, error texts, standard error
// redirection, floating-point control and the error mode.
#include <float.h>

#include "platform/windows/win32.h"

namespace quadrel::platform {
namespace {

using windows::lastError;

constexpr DWORD longestErrorText = 1024;

// Critical errors, unhandled exceptions and files that cannot be opened
// show no dialog of the system.
constexpr UINT noDialogs = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
static_assert(noDialogs == 0x8003);

}  // namespace

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

// Ends the process at once, like _exit: no library shutdown and no detaching
// of libraries, which could wait for a lock that the thread cut off here
// holds; every byte the program writes has already been written.
void exitProcess(std::uint32_t status) {
  TerminateProcess(GetCurrentProcess(), status);
  ExitProcess(status);
}

void parkForever() {
  for (;;)
    Sleep(INFINITE);
}

void maskFloatingPointExceptions() { _controlfp(_MCW_EM, _MCW_EM); }

void suppressErrorDialogs() { SetErrorMode(noDialogs); }

void makeWriteFailuresReturnErrors() {
  // A write to a pipe that nobody reads already fails with its error code.
}

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

}  // namespace quadrel::platform
