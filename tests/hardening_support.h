// Helpers of the hardening tests: FIFOs the test feeds while the program
// runs, where the program's main thread waits, and its peak memory.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace quadrel::hardening {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool sanitized = true;
#else
inline constexpr bool sanitized = false;
#endif

// Windows has no FIFOs in its file system: Wine reads one as a file that
// ends before its writer writes, and its system calls are Wine's own.
inline constexpr std::string_view fifoUnderWine =
    "Wine reads a FIFO as a file that ends before its writer writes";

// The write end of a FIFO that the program reads. Opening waits until the
// program has opened the read end; writes wait while the FIFO is full.
class FifoWriter {
 public:
  FifoWriter() = default;
  FifoWriter(const FifoWriter&) = delete;
  FifoWriter& operator=(const FifoWriter&) = delete;
  ~FifoWriter() { close(); }

  bool open(const std::string& path, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
      fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd_ >= 0) return true;
      if (errno != ENXIO || Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // False when the bytes could not all be written before the timeout.
  bool write(std::string_view bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
      const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(put));
        continue;
      }
      if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (Clock::now() > deadline) return false;
      pollfd ready{fd_, POLLOUT, 0};
      ::poll(&ready, 1, 10);
    }
    return true;
  }

  // Bytes written that the program has not read yet.
  int unread() const {
    int count = 0;
    return ::ioctl(fd_, FIONREAD, &count) == 0 ? count : -1;
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// The system call the main thread of `pid` is in, or -1 when it is running
// or cannot be seen.
inline long currentSystemCall(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  long number = -1;
  if (!(file >> number)) return -1;
  return number;
}

// Waits until the main thread of `pid` sleeps in `systemCall` (and, for a
// FIFO read, the FIFO is empty), so the program has taken everything it was
// given and waits for more.
inline bool waitUntilWaitingIn(pid_t pid, long systemCall, const FifoWriter* drained = nullptr,
                               std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const Clock::time_point deadline = Clock::now() + timeout;
  int settled = 0;
  while (Clock::now() < deadline) {
    const bool waiting =
        currentSystemCall(pid) == systemCall && (drained == nullptr || drained->unread() == 0);
    // Seen twice in a row, so a passing glimpse of the call does not count.
    settled = waiting ? settled + 1 : 0;
    if (settled == 2) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Waits until `path` exists: the test program creates it when one of its
// threads reaches a chosen point.
inline bool waitForFile(const std::string& path,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const Clock::time_point deadline = Clock::now() + timeout;
  struct stat status {};
  while (::stat(path.c_str(), &status) != 0) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline constexpr long readCall = SYS_read;
inline constexpr long openCall = SYS_openat;

// The largest resident size of any child process this process has waited
// for, in KiB.
inline long childrenPeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

}  // namespace quadrel::hardening
