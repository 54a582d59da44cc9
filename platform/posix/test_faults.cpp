// Test layer: makes the nth system call of a kind fail.
//
// The first fault installed swaps the entries of the system call table for
// wrappers that count the calls of each kind and fail the chosen ones with
// the chosen error, moving nothing. Linked only into the test build of the
// program.
#include <array>
#include <atomic>
#include <cerrno>

#include "platform/fault_injection.h"
#include "platform/posix/syscalls.h"

namespace quadrel::platform {
namespace {

constexpr std::size_t kindCount = 7;
constexpr std::size_t faultsPerKind = 8;

struct Fault {
  long call = 0;  // the count of the failing call, 0 when unused
  SystemError error = 0;
};

struct KindFaults {
  std::atomic<long> calls{0};
  std::array<Fault, faultsPerKind> faults{};
};

std::array<KindFaults, kindCount> faultTable;
posix::Syscalls original{};

// Counts one call of `kind`; true (with errno set) when it is to fail.
bool failsNow(CallKind kind) {
  KindFaults& state = faultTable[static_cast<std::size_t>(kind)];
  const long call = state.calls.fetch_add(1) + 1;
  for (const Fault& fault : state.faults) {
    if (fault.call == call) {
      errno = static_cast<int>(fault.error);
      return true;
    }
  }
  return false;
}

int openCall(const char* path, int flags, mode_t mode) {
  return failsNow(CallKind::open) ? -1 : original.open(path, flags, mode);
}
ssize_t readCall(int fd, void* buffer, size_t size) {
  return failsNow(CallKind::read) ? -1 : original.read(fd, buffer, size);
}
ssize_t writeCall(int fd, const void* bytes, size_t size) {
  return failsNow(CallKind::write) ? -1 : original.write(fd, bytes, size);
}
ssize_t pwriteCall(int fd, const void* bytes, size_t size, off_t offset) {
  return failsNow(CallKind::write) ? -1 : original.pwrite(fd, bytes, size, offset);
}
int ftruncateCall(int fd, off_t length) {
  return failsNow(CallKind::cut) ? -1 : original.ftruncate(fd, length);
}
off_t lseekCall(int fd, off_t offset, int whence) {
  return failsNow(CallKind::rewind) ? static_cast<off_t>(-1) : original.lseek(fd, offset, whence);
}
int fstatCall(int fd, struct stat* status) {
  return failsNow(CallKind::size) ? -1 : original.fstat(fd, status);
}
int closeCall(int fd) { return failsNow(CallKind::close) ? -1 : original.close(fd); }

void installWrappers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  posix::Syscalls& table = posix::syscalls();
  original = table;
  table.open = openCall;
  table.read = readCall;
  table.write = writeCall;
  table.pwrite = pwriteCall;
  table.ftruncate = ftruncateCall;
  table.lseek = lseekCall;
  table.fstat = fstatCall;
  table.close = closeCall;
}

}  // namespace

void failCall(CallKind kind, int nth, SystemError error) {
  installWrappers();
  KindFaults& state = faultTable[static_cast<std::size_t>(kind)];
  for (Fault& fault : state.faults) {
    if (fault.call == 0) {
      fault = {state.calls.load() + nth, error};
      return;
    }
  }
}

}  // namespace quadrel::platform
