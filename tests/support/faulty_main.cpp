// The program built with a fault layer that makes chosen system calls fail.
//
// QUADREL_TEST_FAULTS holds faults separated by ";", each "kind:nth:errno"
// with kind one of open, read (positional reads included), write, copy,
// cut, rewind, close, size, pwrite (the positional writes alone, which
// count as writes too), or behind (the positional writes of the helper
// thread alone, which count as both): the nth call of that kind fails with
// that error number and moves nothing. Error number 0 stalls the call
// instead: it never returns, and the process lives on until a signal ends
// it. A call about to stall first creates the file that
// QUADREL_TEST_STALLED names, so that a test can wait until it sits there.
// The first fault installed swaps the entries of the POSIX layer's system
// call table for wrappers that count the calls of each kind. Everything else
// is the program.
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "converter/conversion_driver.h"
#include "platform/posix/syscalls.h"
#include "services/diagnostics/startup.h"

namespace {

using quadrel::platform::posix::Syscalls;

enum class CallKind { open, read, write, copy, cut, rewind, close, size, pwrite, behind, count };

constexpr std::size_t faultsPerKind = 8;

struct Fault {
  long call = 0;  // the count of the failing call, 0 when unused
  int error = 0;
};

struct KindFaults {
  std::atomic<long> calls{0};
  std::array<Fault, faultsPerKind> faults{};
};

std::array<KindFaults, static_cast<std::size_t>(CallKind::count)> faultTable;
Syscalls original{};
std::thread::id mainThread;
const char* stallNote = nullptr;

// Creates the file that tells the test a call now stalls.
void announceStall() {
  if (stallNote == nullptr) return;
  const int note = ::open(stallNote, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (note >= 0) ::close(note);
}

// Counts one call of `kind`; true (with errno set) when it is to fail.
bool failsNow(CallKind kind) {
  KindFaults& state = faultTable[static_cast<std::size_t>(kind)];
  const long call = state.calls.fetch_add(1) + 1;
  for (const Fault& fault : state.faults) {
    if (fault.call != call) continue;
    if (fault.error == 0) announceStall();
    while (fault.error == 0)
      pause();
    errno = fault.error;
    return true;
  }
  return false;
}

int openCall(const char* path, int flags, mode_t mode) {
  return failsNow(CallKind::open) ? -1 : original.open(path, flags, mode);
}
ssize_t readCall(int fd, void* buffer, size_t size) {
  return failsNow(CallKind::read) ? -1 : original.read(fd, buffer, size);
}
ssize_t preadCall(int fd, void* buffer, size_t size, off_t offset) {
  return failsNow(CallKind::read) ? -1 : original.pread(fd, buffer, size, offset);
}
ssize_t writeCall(int fd, const void* bytes, size_t size) {
  return failsNow(CallKind::write) ? -1 : original.write(fd, bytes, size);
}
ssize_t pwriteCall(int fd, const void* bytes, size_t size, off_t offset) {
  bool fails = failsNow(CallKind::pwrite);
  if (std::this_thread::get_id() != mainThread) fails = failsNow(CallKind::behind) || fails;
  return failsNow(CallKind::write) || fails ? -1 : original.pwrite(fd, bytes, size, offset);
}
ssize_t copyCall(int from, off_t* fromOffset, int to, off_t* toOffset, size_t size, unsigned flags) {
  return failsNow(CallKind::copy) ? -1 : original.copyFileRange(from, fromOffset, to, toOffset, size, flags);
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
  Syscalls& table = quadrel::platform::posix::syscalls();
  original = table;
  table.open = openCall;
  table.read = readCall;
  table.pread = preadCall;
  table.write = writeCall;
  table.pwrite = pwriteCall;
  table.copyFileRange = copyCall;
  table.ftruncate = ftruncateCall;
  table.lseek = lseekCall;
  table.fstat = fstatCall;
  table.close = closeCall;
}

// The `nth` call of `kind` counted from now (1 = the next one) fails with
// `error`.
void failCall(CallKind kind, int nth, int error) {
  installWrappers();
  KindFaults& state = faultTable[static_cast<std::size_t>(kind)];
  for (Fault& fault : state.faults) {
    if (fault.call == 0) {
      fault = {state.calls.load() + nth, error};
      return;
    }
  }
}

bool parseKind(const std::string& word, CallKind& kind) {
  static const std::pair<const char*, CallKind> names[] = {
      {"open", CallKind::open},    {"read", CallKind::read}, {"write", CallKind::write},
      {"copy", CallKind::copy},    {"cut", CallKind::cut},   {"rewind", CallKind::rewind},
      {"close", CallKind::close},  {"size", CallKind::size}, {"pwrite", CallKind::pwrite},
      {"behind", CallKind::behind}};
  for (const auto& [name, value] : names) {
    if (word == name) {
      kind = value;
      return true;
    }
  }
  return false;
}

void installFaults(const char* faultList) {
  std::stringstream all(faultList);
  std::string fault;
  while (std::getline(all, fault, ';')) {
    std::stringstream fields(fault);
    std::string kindWord, nth, error;
    CallKind kind{};
    if (std::getline(fields, kindWord, ':') && std::getline(fields, nth, ':') &&
        std::getline(fields, error) && parseKind(kindWord, kind)) {
      failCall(kind, std::stoi(nth), std::stoi(error));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  mainThread = std::this_thread::get_id();
  stallNote = std::getenv("QUADREL_TEST_STALLED");
  if (const char* faults = std::getenv("QUADREL_TEST_FAULTS")) installFaults(faults);
  quadrel::runProgram(argc, argv, quadrel::runConversion);
}
