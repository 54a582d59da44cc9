// Runs the built program as a child process for end-to-end tests.
//
// Each run gets a fresh temporary folder (under TMPDIR, else /tmp) holding
// the request's files; the child starts there, so relative names work, and
// every regular file left behind comes back in the result. The child's
// environment is the test process's own without the variables that steer
// the program (names beginning with FORT or FOR_, in any case), plus the
// request's variables. The text "{dir}" in an argument or an environment
// value stands for the run's folder.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel::harness {

// The program under test (the one built here, or the one that the
// environment variable QUADREL_TEST_PROGRAM names), and the program built
// here with the fault-injection layer (environment
// QUADREL_TEST_FAULTS="kind:nth:errno;...").
std::string programPath();
std::string faultyProgramPath();

enum class StdinKind {
  pipe,      // the stdin bytes through a pipe, closed after the last byte
  file,      // the stdin bytes in an unlinked regular file
  terminal,  // a pseudo-terminal that becomes the child's controlling terminal
};

enum class OutputKind {
  capture,  // a pipe read by the harness
  devFull,  // /dev/full: every write fails with ENOSPC
  closed,   // descriptor not open at all
  // One raw pseudo-terminal for stdout and stderr: `out` is what it shows.
  terminal,
};

struct RunRequest {
  std::vector<std::string> args;           // argv[1] onwards
  std::map<std::string, std::string> env;  // added to (or replacing) the cleaned environment
  std::string stdinBytes;
  StdinKind stdinKind = StdinKind::pipe;
  std::size_t stdinFileOffset = 0;              // where a file as stdin stands at the start
  OutputKind stdoutKind = OutputKind::capture;  // stderr is captured apart but on a terminal
  // Written into the run's folder before the start; a name may hold
  // subfolders ("in/a.wav"), which are created.
  std::map<std::string, std::string> files;
  // Called with the run's folder after the files are written.
  std::function<void(const std::string& dir)> prepare;
  std::string program = programPath();
  std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE of the child, in bytes
  // Where the child starts, relative to the run's folder (created).
  std::string workingDirectory;
  std::chrono::milliseconds timeout{20000};
};

struct RunResult {
  std::string out;
  std::string err;
  int exitStatus = -1;  // the low 8 bits of the exit status; -1 when killed by a signal
  int termSignal = 0;   // the signal that ended the child, or 0
  // Every regular file in the run's folder after the run, by relative name.
  std::map<std::string, std::string> files;
  std::string dir;  // the run's folder, absolute, without symbolic links
};

// The bytes of a file of the source tree, such as "examples/wx.wav"; a
// file that cannot be read fails the current test.
std::string sourceFile(const std::string& relativePath);

// Runs the program to its end with stdin closed after its bytes. A run that
// exceeds the timeout is killed and fails the current test.
RunResult runProgram(const RunRequest& request);

// A program that a test drives while it runs: waits for its output, types
// into it, signals it, then collects the rest. Stdin stays open until
// closeStdin() or the end; the stdin bytes of the request are written first.
// The destructor kills a child that is still running.
class RunningProgram {
 public:
  explicit RunningProgram(const RunRequest& request);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Pumps the pipes until stdout (or stderr) contains `text`, the child has
  // closed the stream, or the timeout passes. True when the text was seen.
  bool waitForOutput(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool waitForError(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Queues bytes for the pipe, or types them into the terminal.
  void writeStdin(std::string_view bytes);
  // Closes stdin once the queued bytes are written.
  void closeStdin();
  void sendSignal(int signal);

  // Waits for the end (killing the child after the timeout), then returns
  // everything the run produced, including what was already seen.
  RunResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  const std::string& out() const { return out_; }
  const std::string& dir() const { return dir_; }
  pid_t pid() const { return pid_; }

 private:
  bool waitFor(const std::string& stream, const int& fd, std::string_view text,
               std::chrono::milliseconds timeout);
  void pump(int timeoutMs);
  void collectExit(bool block);

  RunRequest request_;
  std::string dir_;
  pid_t pid_ = -1;
  int stdinFd_ = -1;  // pipe write end or terminal master
  int outFd_ = -1;
  int errFd_ = -1;
  bool terminal_ = false;
  bool terminalOpen_ = true;
  bool closeStdinWhenWritten_ = false;
  std::string pendingStdin_;
  std::string out_, err_;
  bool exited_ = false;
  int waitStatus_ = 0;
  bool finished_ = false;
};

}  // namespace quadrel::harness
