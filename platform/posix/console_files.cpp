// The files that replace standard input and standard output, and the error
// that stands for a pipe whose writer has gone.
#include <cerrno>

#include <fcntl.h>

#include "platform/platform.h"
#include "platform/posix/syscalls.h"

namespace quadrel::platform {

// The output replacement is truncated like a shell redirection; the input
// replacement is only read. Neither is inherited by a child process.
OpenResult openConsoleReplacement(const std::string& path, OpenPurpose purpose) {
  const int flags =
      purpose == OpenPurpose::write ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  for (;;) {
    int fd = posix::syscalls().open(path.c_str(), flags, 0666);
    if (fd >= 0) return {fd, 0};
    if (errno != EINTR) return {noHandle, static_cast<SystemError>(errno)};
  }
}

SystemError brokenPipeError() { return EPIPE; }

}  // namespace quadrel::platform
