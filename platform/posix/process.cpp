// Process services on POSIX: environment, exit, error texts, standard error
// redirection, floating-point and signal dispositions.
#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/syscalls.h"

namespace quadrel::platform {
namespace {

char lowered(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `entry` ("NAME=value") names `name`, letters compared without
// regard to case.
bool entryNames(const char* entry, std::string_view name) {
  std::size_t i = 0;
  for (; i < name.size(); ++i) {
    if (entry[i] == '\0' || entry[i] == '=' || lowered(entry[i]) != lowered(name[i])) return false;
  }
  return entry[i] == '=';
}

constexpr std::size_t maximumErrorTextLength = 1024;

}  // namespace

std::optional<std::string> environmentValue(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) return std::nullopt;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (entryNames(*entry, name)) return std::string(*entry + name.size() + 1);
  }
  return std::nullopt;
}

void exitProcess(std::uint32_t status) {
  // No static destructors and no stdio flushing: other threads may still be
  // running, and every byte the program writes has already been written.
  _exit(static_cast<int>(status));
}

void parkForever() {
  for (;;)
    pause();
}

void maskFloatingPointExceptions() {
  // Non-stop mode: every floating-point exception is masked.
  std::fenv_t environment;
  std::feholdexcept(&environment);
}

void suppressErrorDialogs() {
  // This platform shows no dialogs of its own for critical errors.
}

void makeWriteFailuresReturnErrors() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

// Returns the description in the C locale, whatever the user's locale, with
// a CR LF line end, as the platform's message texts carry one.
std::optional<std::string> errorText(SystemError error) {
  const char* description = strerrordesc_np(static_cast<int>(error));
  if (description == nullptr) return std::nullopt;
  std::string text(description, strnlen(description, maximumErrorTextLength - 2));
  text += "\r\n";
  return text;
}

SystemError redirectStandardError(const std::string& path) {
  const int fd = posix::syscalls().open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return static_cast<SystemError>(errno);
  if (fd == STDERR_FILENO) {
    // Standard error was closed and the open took its place.
    fcntl(fd, F_SETFD, 0);
    return 0;
  }
  int result;
  do {
    result = dup2(fd, STDERR_FILENO);
  } while (result < 0 && errno == EINTR);
  const SystemError error = result < 0 ? static_cast<SystemError>(errno) : 0;
  posix::syscalls().close(fd);
  return error;
}

}  // namespace quadrel::platform
