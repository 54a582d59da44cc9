// Reads, writes, positions and closing on file descriptors.
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/syscalls.h"

namespace quadrel::platform {
namespace {

int fd(Handle handle) { return static_cast<int>(handle); }

SystemError lastError() { return static_cast<SystemError>(errno); }

}  // namespace

Handle standardHandle(StandardStream stream) {
  switch (stream) {
    case StandardStream::input:
      return STDIN_FILENO;
    case StandardStream::output:
      return STDOUT_FILENO;
    case StandardStream::error:
      break;
  }
  return STDERR_FILENO;
}

bool isStandardHandle(Handle handle) { return handle >= 0 && handle <= 2; }

HandleKind kindOf(Handle handle) {
  struct stat status {};
  if (posix::syscalls().fstat(fd(handle), &status) != 0) return HandleKind::unknown;
  if (S_ISREG(status.st_mode)) return HandleKind::disk;
  if (S_ISDIR(status.st_mode)) return HandleKind::directory;
  if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return HandleKind::pipe;
  if (S_ISCHR(status.st_mode)) return isatty(fd(handle)) ? HandleKind::terminal : HandleKind::device;
  return HandleKind::device;
}

TransferResult readSome(Handle handle, void* buffer, std::size_t size) {
  for (;;) {
    ssize_t got = posix::syscalls().read(fd(handle), buffer, size);
    if (got >= 0) return {static_cast<std::size_t>(got), 0};
    if (errno != EINTR) return {0, lastError()};
  }
}

TransferResult writeAll(Handle handle, const void* bytes, std::size_t size) {
  const auto* next = static_cast<const char*>(bytes);
  std::size_t done = 0;
  while (done < size) {
    ssize_t put = posix::syscalls().write(fd(handle), next + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return {done, lastError()};
    }
    done += static_cast<std::size_t>(put);
  }
  return {done, 0};
}

TransferResult writeAllAt(Handle handle, const void* bytes, std::size_t size, std::int64_t offset) {
  const auto* next = static_cast<const char*>(bytes);
  std::size_t done = 0;
  while (done < size) {
    ssize_t put = posix::syscalls().pwrite(fd(handle), next + done, size - done,
                                           static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (put < 0) {
      if (errno == EINTR) continue;
      return {done, lastError()};
    }
    done += static_cast<std::size_t>(put);
  }
  return {done, 0};
}

SystemError cutAt(Handle handle, std::int64_t length) {
  while (posix::syscalls().ftruncate(fd(handle), static_cast<off_t>(length)) != 0) {
    if (errno != EINTR) return lastError();
  }
  return 0;
}

SystemError rewind(Handle handle) {
  if (posix::syscalls().lseek(fd(handle), 0, SEEK_SET) < 0) return lastError();
  return 0;
}

std::optional<std::int64_t> sizeOf(Handle handle) {
  struct stat status {};
  if (posix::syscalls().fstat(fd(handle), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return static_cast<std::int64_t>(status.st_size);
}

SystemError closeHandle(Handle handle) {
  // The descriptor is gone after close() even when it reports EINTR.
  if (posix::syscalls().close(fd(handle)) != 0 && errno != EINTR) return lastError();
  return 0;
}

}  // namespace quadrel::platform
