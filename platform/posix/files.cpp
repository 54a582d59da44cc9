// Files on POSIX: the system call table, transfers, opening under the
// sharing rules, sorting open failures, full paths and device names.
//
// Linux has no share modes, so their observable effects are rebuilt here:
// an input takes a shared open-file-description lock and the output an
// exclusive one, so two opens that would write a file another open uses
// conflict, also inside one process; and an input that another process
// holds open for writing is found with a read lease that is given back at
// once.
#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/syscalls.h"

namespace quadrel::platform {
namespace posix {
namespace {

int openFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int lockControl(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }
int numberControl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

}  // namespace

Syscalls& syscalls() {
  static Syscalls table{openFile,          ::read,        ::pread, ::write, ::pwrite,
                        ::copy_file_range, ::ftruncate,   ::lseek, ::fstat, ::close,
                        lockControl,       numberControl, ::getcwd};
  return table;
}

}  // namespace posix

namespace {

int fd(Handle handle) { return static_cast<int>(handle); }

// Transparent huge pages are 2 MiB on the machines this runs on; a buffer
// takes whole ones, aligned, so that each can be one.
constexpr std::size_t hugePage = std::size_t{2} << 20;

std::size_t hugePages(std::size_t size) { return (size + hugePage - 1) / hugePage * hugePage; }

SystemError lastError() { return static_cast<SystemError>(errno); }

HandleKind kindOfMode(mode_t mode, int descriptor) {
  if (S_ISREG(mode)) return HandleKind::disk;
  if (S_ISDIR(mode)) return HandleKind::directory;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return HandleKind::pipe;
  if (S_ISCHR(mode)) return isatty(descriptor) ? HandleKind::terminal : HandleKind::device;
  return HandleKind::device;
}

int openRetrying(const std::string& path, int flags) {
  for (;;) {
    const int descriptor = posix::syscalls().open(path.c_str(), flags, 0666);
    if (descriptor >= 0 || errno != EINTR) return descriptor;
  }
}

// Takes a whole-file lock of `type` without waiting. Returns EBUSY when a
// conflicting lock is held through another open; a file system without
// such locks lets the open go ahead unprotected.
SystemError takeShareLock(int descriptor, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  for (;;) {
    if (posix::syscalls().lockControl(descriptor, F_OFD_SETLK, &lock) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return EBUSY;
    return 0;
  }
}

// A read lease is refused with EAGAIN exactly when some open of the file
// can write it. Any other refusal (not the owner, no lease support) tells
// nothing, and the open goes ahead.
SystemError refuseWhenOpenForWriting(int descriptor) {
  if (posix::syscalls().numberControl(descriptor, F_SETLEASE, F_RDLCK) == 0) {
    posix::syscalls().numberControl(descriptor, F_SETLEASE, F_UNLCK);
    return 0;
  }
  return errno == EAGAIN || errno == EBUSY ? EBUSY : 0;
}

// What the open descriptor is, or why it may not be used under the rules
// of `purpose`. A file that cannot be asked what it is is refused: taken
// for something other than a disk file, an output would be neither cut
// nor protected.
OpenResult examineOpened(int descriptor, OpenPurpose purpose) {
  struct stat status {};
  if (posix::syscalls().fstat(descriptor, &status) != 0) return OpenResult::refused(lastError());
  if (S_ISDIR(status.st_mode)) return OpenResult::refused(EISDIR);
  OpenResult result;
  result.handle = descriptor;
  result.kind = kindOfMode(status.st_mode, descriptor);
  result.identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                     true};
  if (!S_ISREG(status.st_mode)) return result;
  SystemError refusal = takeShareLock(descriptor, purpose == OpenPurpose::write ? F_WRLCK : F_RDLCK);
  if (refusal == 0 && purpose == OpenPurpose::read) refusal = refuseWhenOpenForWriting(descriptor);
  if (refusal != 0) return OpenResult::refused(refusal);
  return result;
}

// Removes ".", ".." and repeated "/" from an absolute path without looking
// at the file system; ".." at the root stays at the root. A final "/" is
// kept, so that a name meant as a directory still fails as one.
std::string normaliseAbsolute(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts)
    result += "/" + part;
  if (result.empty() || path.back() == '/') result += '/';
  return result;
}

}  // namespace

// ---- Memory -----------------------------------------------------------------------

std::byte* allocateBuffer(std::size_t size) {
  const std::size_t length = hugePages(size);
  void* mapped = mmap(nullptr, length + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  // The mapping is cut down to `length` bytes starting at a page boundary.
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + hugePage - 1) / hugePage * hugePage;
  if (aligned > start) munmap(mapped, aligned - start);
  if (const std::size_t after = start + hugePage - aligned; after > 0) {
    munmap(reinterpret_cast<void*>(aligned + length), after);
  }
  auto* buffer = reinterpret_cast<std::byte*>(aligned);
  madvise(buffer, length, MADV_HUGEPAGE);  // a hint: without it the buffer still works
  return buffer;
}

void releaseBuffer(std::byte* buffer, std::size_t size) {
  if (buffer != nullptr) munmap(buffer, hugePages(size));
}

// ---- Standard handles and transfers -----------------------------------------

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

HandleKind kindOf(Handle handle) {
  struct stat status {};
  if (posix::syscalls().fstat(fd(handle), &status) != 0) return HandleKind::unknown;
  return kindOfMode(status.st_mode, fd(handle));
}

bool isTerminal(Handle handle) { return isatty(fd(handle)) == 1; }

SizeResult sizeOf(Handle handle) {
  struct stat status {};
  if (posix::syscalls().fstat(fd(handle), &status) != 0) return {std::nullopt, lastError()};
  if (!S_ISREG(status.st_mode)) return {};
  return {static_cast<std::int64_t>(status.st_size), 0};
}

TransferResult readSome(Handle handle, void* buffer, std::size_t size) {
  for (;;) {
    ssize_t got = posix::syscalls().read(fd(handle), buffer, size);
    if (got >= 0) return {static_cast<std::size_t>(got), 0};
    if (errno != EINTR) return {0, lastError()};
  }
}

TransferResult readAt(Handle handle, void* buffer, std::size_t size, std::int64_t offset) {
  auto* next = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = posix::syscalls().pread(fd(handle), next + done, size - done,
                                                static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return {done, lastError()};
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return {done, 0};
}

std::optional<std::int64_t> positionOf(Handle handle) {
  const off_t position = posix::syscalls().lseek(fd(handle), 0, SEEK_CUR);
  if (position < 0) return std::nullopt;
  return static_cast<std::int64_t>(position);
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

TransferResult copyRange(Handle from, Handle to, std::int64_t offset, std::size_t size) {
  auto at = static_cast<off_t>(offset);
  for (;;) {
    const ssize_t copied = posix::syscalls().copyFileRange(fd(from), nullptr, fd(to), &at, size, 0);
    if (copied >= 0) return {static_cast<std::size_t>(copied), 0};
    if (errno != EINTR) return {0, lastError()};
  }
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

SystemError moveForward(Handle handle, std::int64_t count) {
  if (posix::syscalls().lseek(fd(handle), static_cast<off_t>(count), SEEK_CUR) < 0) return lastError();
  return 0;
}

SystemError closeHandle(Handle handle) {
  // The descriptor is gone after close() even when it reports EINTR.
  if (posix::syscalls().close(fd(handle)) != 0 && errno != EINTR) return lastError();
  return 0;
}

// ---- Opening ------------------------------------------------------------------

OpenResult openFile(const std::string& path, OpenPurpose purpose) {
  const int flags = purpose == OpenPurpose::read ? O_RDONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_CLOEXEC;
  const int descriptor = openRetrying(path, flags);
  if (descriptor < 0) return OpenResult::refused(lastError());
  const OpenResult result = examineOpened(descriptor, purpose);
  if (result.error != 0) posix::syscalls().close(descriptor);
  return result;
}

// The output replacement is truncated like a shell redirection; the input
// replacement is only read. Neither is inherited by a child process.
OpenResult openConsoleReplacement(const std::string& path, OpenPurpose purpose) {
  const int flags =
      purpose == OpenPurpose::write ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  const int descriptor = openRetrying(path, flags);
  if (descriptor < 0) return OpenResult::refused(lastError());
  OpenResult result;
  result.handle = descriptor;
  result.kind = kindOf(descriptor);
  return result;
}

SystemError brokenPipeError() { return EPIPE; }

OpenFailure classifyOpenError(SystemError error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return OpenFailure::notFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return OpenFailure::accessDenied;
    case ENXIO:
    case ENODEV:
      return OpenFailure::noSuchDevice;
    case ENAMETOOLONG:
    case EILSEQ:
      return OpenFailure::badName;
    default:
      return OpenFailure::other;
  }
}

std::optional<std::string> fullPath(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::string joined;
  if (name.front() != '/') {
    char directory[PATH_MAX];
    if (posix::syscalls().getcwd(directory, sizeof directory) == nullptr) return std::nullopt;
    joined = directory;
    joined += '/';
  }
  joined += name;
  std::string result = normaliseAbsolute(joined);
  if (result.size() >= 256) return std::nullopt;
  return result;
}

std::optional<std::string> devicePath(std::string_view upperCaseName) {
  if (upperCaseName == "NUL") return std::string("/dev/null");
  return std::nullopt;
}

SystemError sharingViolationError() { return EBUSY; }

}  // namespace quadrel::platform
