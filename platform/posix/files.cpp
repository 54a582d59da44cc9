// Files on POSIX: opening under the sharing rules, sorting open failures,
// full paths and device names.
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
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/syscalls.h"

namespace quadrel::platform {
namespace {

SystemError lastError() { return static_cast<SystemError>(errno); }

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

// Why an open descriptor may not be used under the rules of `purpose`, or 0.
SystemError refusalAfterOpen(int descriptor, OpenPurpose purpose) {
  struct stat status {};
  if (posix::syscalls().fstat(descriptor, &status) != 0) return 0;
  if (S_ISDIR(status.st_mode)) return EISDIR;
  if (!S_ISREG(status.st_mode)) return 0;
  if (purpose == OpenPurpose::write) return takeShareLock(descriptor, F_WRLCK);
  SystemError refusal = takeShareLock(descriptor, F_RDLCK);
  return refusal != 0 ? refusal : refuseWhenOpenForWriting(descriptor);
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

OpenResult openFile(const std::string& path, OpenPurpose purpose) {
  const int flags = purpose == OpenPurpose::read ? O_RDONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_CLOEXEC;
  int descriptor = -1;
  for (;;) {
    descriptor = posix::syscalls().open(path.c_str(), flags, 0666);
    if (descriptor >= 0) break;
    if (errno != EINTR) return {noHandle, lastError()};
  }
  if (SystemError refusal = refusalAfterOpen(descriptor, purpose); refusal != 0) {
    posix::syscalls().close(descriptor);
    return {noHandle, refusal};
  }
  return {descriptor, 0};
}

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

bool sameFile(Handle first, Handle second) {
  struct stat a {};
  struct stat b {};
  if (posix::syscalls().fstat(static_cast<int>(first), &a) != 0 ||
      posix::syscalls().fstat(static_cast<int>(second), &b) != 0) {
    return false;
  }
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

SystemError sharingViolationError() { return EBUSY; }

}  // namespace quadrel::platform
