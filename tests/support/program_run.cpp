// Child-process runs for end-to-end tests: folder set-up, fork and exec,
// pumping of the standard streams, and collection of the results.
#include "tests/support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace quadrel::harness {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::string_view dirToken = "{dir}";

std::string replaceDirToken(std::string text, const std::string& dir) {
  for (std::size_t at = text.find(dirToken); at != std::string::npos;
       at = text.find(dirToken, at + dir.size())) {
    text.replace(at, dirToken.size(), dir);
  }
  return text;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// The parent's environment less everything that steers the program, then
// the request's changes.
std::vector<std::string> childEnvironment(const RunRequest& request, const std::string& dir) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = text.substr(0, equals);
    if (startsWithIgnoringCase(name, "FORT") || startsWithIgnoringCase(name, "FOR_") ||
        name == "QUADREL_TEST_FAULTS" || name == "QUADREL_TEST_STALLED") {
      continue;
    }
    variables[std::string(name)] = std::string(text.substr(equals + 1));
  }
  for (const auto& [name, value] : request.env)
    variables[name] = replaceDirToken(value, dir);
  std::vector<std::string> entries;
  for (const auto& [name, value] : variables)
    entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::string makeRunFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/quadrel-run-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a run folder from " << pattern << ": " << std::strerror(errno);
    return {};
  }
  std::error_code error;
  fs::path real = fs::canonical(pattern, error);
  return error ? pattern : real.string();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!stream) ADD_FAILURE() << "cannot write " << path;
}

std::map<std::string, std::string> regularFilesIn(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file() || it->is_symlink()) continue;
    std::ifstream stream(it->path(), std::ios::binary);
    files[fs::relative(it->path(), dir).string()] =
        std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  }
  return files;
}

void setNonBlocking(int fd) {
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// In the child: puts `fd` on `target` without the close-on-exec flag, or
// leaves `target` closed when `fd` is negative.
void placeOn(int fd, int target) {
  if (fd < 0) {
    close(target);
  } else if (fd == target) {
    fcntl(fd, F_SETFD, 0);
  } else {
    dup2(fd, target);
  }
}

void ignoreBrokenPipes() {
  static const bool done = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

}  // namespace

// QUADREL_TEST_PROGRAM, when set, names the program under test instead of
// the one built here, so that one Linux test build also runs the Windows
// program through its Wine wrapper.
std::string programPath() {
  const char* chosen = std::getenv("QUADREL_TEST_PROGRAM");
  return chosen != nullptr && *chosen != '\0' ? chosen : QUADREL_BINARY;
}

std::string sourceFile(const std::string& relativePath) {
  const fs::path path = fs::path(QUADREL_SOURCE_DIR) / relativePath;
  std::ifstream stream(path, std::ios::binary);
  if (!stream) ADD_FAILURE() << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}
std::string faultyProgramPath() { return QUADREL_FAULTY_BINARY; }

RunningProgram::RunningProgram(const RunRequest& request) : request_(request) {
  ignoreBrokenPipes();
  dir_ = makeRunFolder();
  if (dir_.empty()) return;
  for (const auto& [name, bytes] : request_.files)
    writeFile(fs::path(dir_) / name, bytes);
  if (request_.prepare) request_.prepare(dir_);

  const std::string workdir = (fs::path(dir_) / request_.workingDirectory).string();
  fs::create_directories(workdir);

  std::vector<std::string> argvTexts{request_.program};
  for (const std::string& arg : request_.args)
    argvTexts.push_back(replaceDirToken(arg, dir_));
  std::vector<std::string> envTexts = childEnvironment(request_, dir_);
  std::vector<char*> argvPointers = pointersTo(argvTexts);
  std::vector<char*> envPointers = pointersTo(envTexts);

  int childIn = -1;
  std::string terminalName;
  switch (request_.stdinKind) {
    case StdinKind::pipe: {
      int ends[2];
      if (pipe2(ends, O_CLOEXEC) == 0) {
        childIn = ends[0];
        stdinFd_ = ends[1];
      }
      break;
    }
    case StdinKind::file: {
      // Unlinked before the start, so it is no file of the run.
      const std::string path = dir_ + "/.stdin";
      writeFile(path, request_.stdinBytes);
      childIn = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      lseek(childIn, static_cast<off_t>(request_.stdinFileOffset), SEEK_SET);
      unlink(path.c_str());
      break;
    }
    case StdinKind::terminal: {
      stdinFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      char name[128];
      if (stdinFd_ >= 0 && grantpt(stdinFd_) == 0 && unlockpt(stdinFd_) == 0 &&
          ptsname_r(stdinFd_, name, sizeof name) == 0) {
        terminalName = name;
        terminal_ = true;
      } else {
        ADD_FAILURE() << "cannot open a pseudo-terminal";
      }
      break;
    }
  }
  if (request_.stdinKind != StdinKind::file) pendingStdin_ = request_.stdinBytes;

  int childOut = request_.stdoutKind == OutputKind::devFull ? open("/dev/full", O_WRONLY | O_CLOEXEC) : -1;
  int childErr = -1;
  int ends[2];
  if (request_.stdoutKind == OutputKind::capture && pipe2(ends, O_CLOEXEC) == 0) {
    outFd_ = ends[0];
    childOut = ends[1];
  }
  if (request_.stdoutKind == OutputKind::terminal) {
    // Raw, so that the master reads the bytes as the program wrote them.
    outFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (outFd_ < 0 || grantpt(outFd_) != 0 || unlockpt(outFd_) != 0 || tcgetattr(outFd_, &raw) != 0)
      ADD_FAILURE() << "cannot open a pseudo-terminal";
    cfmakeraw(&raw);
    tcsetattr(outFd_, TCSANOW, &raw);
    childOut = open(ptsname(outFd_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    childErr = fcntl(childOut, F_DUPFD_CLOEXEC, 0);
  } else if (pipe2(ends, O_CLOEXEC) == 0) {
    errFd_ = ends[0];
    childErr = ends[1];
  }
  int execReport[2];
  if (pipe2(execReport, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  struct rlimit limit {};
  if (request_.fileSizeLimit) limit.rlim_cur = limit.rlim_max = *request_.fileSizeLimit;

  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to exec.
    if (terminal_) {
      setsid();
      childIn = open(terminalName.c_str(), O_RDWR);  // becomes the controlling terminal
    }
    placeOn(childIn, 0);
    if (terminal_ && childIn > 2) close(childIn);
    placeOn(childOut, 1);
    placeOn(childErr, 2);
    int failure = 0;
    if (chdir(workdir.c_str()) != 0) failure = errno;
    if (failure == 0 && request_.fileSizeLimit && setrlimit(RLIMIT_FSIZE, &limit) != 0) failure = errno;
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
      sigaction(sig, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (failure == 0) {
      execve(request_.program.c_str(), argvPointers.data(), envPointers.data());
      failure = errno;
    }
    ssize_t ignored = write(execReport[1], &failure, sizeof failure);
    (void)ignored;
    _exit(127);
  }

  close(execReport[1]);
  closeFd(childIn);
  closeFd(childOut);
  closeFd(childErr);
  if (pid_ < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    close(execReport[0]);
    return;
  }
  int failure = 0;
  if (read(execReport[0], &failure, sizeof failure) == static_cast<ssize_t>(sizeof failure)) {
    ADD_FAILURE() << "cannot start " << request_.program << " in " << workdir << ": "
                  << std::strerror(failure);
  }
  close(execReport[0]);
  setNonBlocking(stdinFd_);
  setNonBlocking(outFd_);
  setNonBlocking(errFd_);
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    collectExit(true);
  }
  closeFd(stdinFd_);
  closeFd(outFd_);
  closeFd(errFd_);
  if (!finished_ && !dir_.empty()) {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
}

void RunningProgram::collectExit(bool block) {
  if (pid_ <= 0 || exited_) return;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == pid_) {
    exited_ = true;
    waitStatus_ = status;
  }
}

// One round of the stream pump: waits up to `timeoutMs` for any stream to be
// ready, then moves what it can without blocking.
void RunningProgram::pump(int timeoutMs) {
  pollfd fds[3];
  int count = 0;
  int outAt = -1, errAt = -1, inAt = -1;
  if (outFd_ >= 0) fds[outAt = count++] = {outFd_, POLLIN, 0};
  if (errFd_ >= 0) fds[errAt = count++] = {errFd_, POLLIN, 0};
  bool readEcho = terminal_ && terminalOpen_;
  if (stdinFd_ >= 0 && (!pendingStdin_.empty() || readEcho)) {
    short events = static_cast<short>((pendingStdin_.empty() ? 0 : POLLOUT) | (readEcho ? POLLIN : 0));
    fds[inAt = count++] = {stdinFd_, events, 0};
  }
  if (count == 0) {
    if (timeoutMs > 0) poll(nullptr, 0, std::min(timeoutMs, 10));
    return;
  }
  if (poll(fds, static_cast<nfds_t>(count), timeoutMs) <= 0) return;

  char buffer[65536];
  // Reads until the stream has nothing more for now; false at its end.
  auto drain = [&](int fd, std::string* into) {
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        if (into != nullptr) into->append(buffer, static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      }
    }
  };
  if (outAt >= 0 && fds[outAt].revents != 0 && !drain(outFd_, &out_)) closeFd(outFd_);
  if (errAt >= 0 && fds[errAt].revents != 0 && !drain(errFd_, &err_)) closeFd(errFd_);
  if (inAt < 0 || fds[inAt].revents == 0) return;
  // The terminal echoes typed text back to its master side; it is dropped.
  if (readEcho && (fds[inAt].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !drain(stdinFd_, nullptr)) {
    terminalOpen_ = false;
  }
  if (!pendingStdin_.empty() && (fds[inAt].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
    ssize_t n = write(stdinFd_, pendingStdin_.data(), pendingStdin_.size());
    if (n > 0) {
      pendingStdin_.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      pendingStdin_.clear();  // the child no longer reads
    }
  }
  if (pendingStdin_.empty() && closeStdinWhenWritten_) closeFd(stdinFd_);
}

bool RunningProgram::waitFor(const std::string& stream, const int& fd, std::string_view text,
                             std::chrono::milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    if (stream.find(text) != std::string::npos) return true;
    Clock::duration left = deadline - Clock::now();
    if (fd < 0 || left <= Clock::duration::zero()) return false;
    pump(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1);
  }
}

bool RunningProgram::waitForOutput(std::string_view text, std::chrono::milliseconds timeout) {
  return waitFor(out_, outFd_, text, timeout);
}

bool RunningProgram::waitForError(std::string_view text, std::chrono::milliseconds timeout) {
  return waitFor(err_, errFd_, text, timeout);
}

void RunningProgram::writeStdin(std::string_view bytes) {
  if (stdinFd_ < 0 || closeStdinWhenWritten_) return;
  pendingStdin_.append(bytes);
  pump(0);
}

void RunningProgram::closeStdin() {
  closeStdinWhenWritten_ = true;
  if (pendingStdin_.empty()) closeFd(stdinFd_);
  pump(0);
}

void RunningProgram::sendSignal(int signal) {
  if (pid_ > 0 && !exited_) kill(pid_, signal);
}

RunResult RunningProgram::finish(std::chrono::milliseconds timeout) {
  RunResult result;
  Clock::time_point deadline = Clock::now() + timeout;
  while (outFd_ >= 0 || errFd_ >= 0 || !exited_) {
    if (pid_ <= 0) break;
    Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      ADD_FAILURE() << request_.program << " did not end within " << timeout.count() << " ms";
      kill(pid_, SIGKILL);
      collectExit(true);
      pump(0);
      break;
    }
    pump(exited_ ? 10 : 5);
    collectExit(false);
  }
  closeFd(stdinFd_);
  closeFd(outFd_);
  closeFd(errFd_);
  result.out = out_;
  result.err = err_;
  if (exited_ && WIFEXITED(waitStatus_)) {
    result.exitStatus = WEXITSTATUS(waitStatus_);
  } else if (exited_ && WIFSIGNALED(waitStatus_)) {
    result.termSignal = WTERMSIG(waitStatus_);
  }
  result.dir = dir_;
  if (!dir_.empty()) {
    result.files = regularFilesIn(dir_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  finished_ = true;
  return result;
}

RunResult runProgram(const RunRequest& request) {
  RunningProgram program(request);
  if (request.stdinKind == StdinKind::pipe) program.closeStdin();
  return program.finish(request.timeout);
}

}  // namespace quadrel::harness
