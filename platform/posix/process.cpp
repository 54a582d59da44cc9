// Process services on POSIX: command line, environment, clock, exit, error
// texts, standard error redirection, floating-point and signal dispositions,
// console control events and processor exceptions.
//
// Control events are the signals SIGINT, SIGQUIT, SIGHUP and SIGTERM;
// processor exceptions are the synchronous signals. The one thread the
// program starts, the write behind's, blocks every signal, so every handler
// runs on the owner thread, interrupting it wherever it is, and an ending
// that has begun can itself be interrupted by a later event. Handlers run
// on an alternate stack, so that a stack overflow can still be reported.
#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include <fcntl.h>
#include <pthread.h>
#include <time.h>
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

constexpr int controlSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
constexpr int exceptionSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};

// Registrations, each made once at start-up before the handler that reads
// it is in place (the rules of the endings: services/diagnostics/termination.h).
ControlHandler controlHandler = nullptr;
ExceptionHandler exceptionHandler = nullptr;

// The address of this object tells the threads apart, also inside a signal
// handler, where no thread library call is safe.
thread_local char threadMarker;
const char* ownerMarker = nullptr;

// The main thread's stack: its lowest address, and how far below it a fault
// still counts as running off the stack (the kernel's default guard gap).
std::uintptr_t mainStackLow = 0;
std::uintptr_t pageSize = 4096;
constexpr std::uintptr_t stackGuardSpan = std::uintptr_t{1} << 20;

alignas(16) char alternateStack[128 * 1024];

int eventNumber(int signal) {
  switch (signal) {
    case SIGINT:
      return 0;
    case SIGQUIT:
      return 1;
    case SIGHUP:
      return 2;
    default:
      return 6;
  }
}

void onControlSignal(int signal) { controlHandler(eventNumber(signal)); }

bool inStackGuard(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  return mainStackLow != 0 && at + stackGuardSpan >= mainStackLow && at < mainStackLow + pageSize;
}

// A signal sent by kill() or raise() carries no fault detail, so it maps by
// its number alone.
ExceptionKind classify(int signal, const siginfo_t& info) {
  const bool fault = info.si_code > 0;
  switch (signal) {
    case SIGSEGV:
      return fault && inStackGuard(info.si_addr) ? ExceptionKind::stackOverflow
                                                 : ExceptionKind::accessViolation;
    case SIGBUS:
      return fault && info.si_code == BUS_ADRALN ? ExceptionKind::datatypeMisalignment
                                                 : ExceptionKind::inPageError;
    case SIGILL:
      return fault && (info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG)
                 ? ExceptionKind::privilegedInstruction
                 : ExceptionKind::illegalInstruction;
    case SIGFPE:
      return fault && info.si_code == FPE_INTOVF ? ExceptionKind::integerOverflow
                                                 : ExceptionKind::integerDivideByZero;
    case SIGTRAP:
      return fault && info.si_code == TRAP_TRACE ? ExceptionKind::singleStep : ExceptionKind::breakpoint;
    default:
      return ExceptionKind::other;
  }
}

void onExceptionSignal(int signal, siginfo_t* info, void*);

// What each exception signal did before the guard took it, kept so that an
// exception passed on takes that course. An ignored signal, and one already
// taken by the guard, take the default course instead: an exception passed
// on must still end the process.
struct sigaction previousActions[std::size(exceptionSignals)];

void restorePrevious(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(exceptionSignals); ++i) {
    const struct sigaction& previous = previousActions[i];
    const bool guard = (previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction == onExceptionSignal;
    const bool ignored = (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN;
    if (exceptionSignals[i] == signal && !guard && !ignored) action = previous;
  }
  sigaction(signal, &action, nullptr);
}

void onExceptionSignal(int signal, siginfo_t* info, void*) {
  const int savedErrno = errno;
  exceptionHandler({classify(signal, *info), static_cast<std::uint32_t>(signal)});
  // The handler returned: the exception takes the course it had before the
  // guard. The signal stays blocked until this function returns, and then
  // takes it; a fault would also come back when its instruction is run again.
  restorePrevious(signal);
  raise(signal);
  errno = savedErrno;
}

void recordMainStack() {
  if (const long page = sysconf(_SC_PAGESIZE); page > 0) pageSize = static_cast<std::uintptr_t>(page);
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* low = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
    mainStackLow = reinterpret_cast<std::uintptr_t>(low);
  }
  pthread_attr_destroy(&attributes);
}

// Nothing else is blocked while a handler runs: a later control event or
// exception may interrupt an ending that has come to a halt, and take it
// over. Only the signal being handled waits for its own handler.
void handleSignal(int signal, void (*handler)(int, siginfo_t*, void*), void (*plain)(int),
                  struct sigaction* previous = nullptr) {
  struct sigaction action {};
  if (handler != nullptr) {
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  } else {
    action.sa_handler = plain;
    action.sa_flags = SA_ONSTACK;
  }
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, previous);
}

void useAlternateStack() {
  static bool inUse = false;
  if (inUse) return;
  inUse = true;
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);
}

}  // namespace

// ---- Command line and environment ----------------------------------------------

std::optional<CommandLine> commandLine(int argc, char** argv) {
  try {
    return CommandLine{std::vector<std::string>(argv, argv + argc), std::nullopt};
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool isLeadByte(unsigned char) { return false; }

std::optional<std::string> environmentValue(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) return std::nullopt;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (entryNames(*entry, name)) return std::string(*entry + name.size() + 1);
  }
  return std::nullopt;
}

// ---- Clock, exit and settings ------------------------------------------------------

std::uint64_t monotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

void exitProcess(std::uint32_t status) {
  // No static destructors and no stdio flushing: the exit may interrupt
  // the program anywhere, and every byte it writes has already been written.
  _exit(static_cast<int>(status));
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

// ---- Error texts and standard error ---------------------------------------------

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
  int fd;
  do {
    fd = posix::syscalls().open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
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

namespace {

struct HelperStart {
  void (*body)(void*);
  void* context;
};

void* runHelper(void* start) {
  const HelperStart helper = *static_cast<HelperStart*>(start);
  delete static_cast<HelperStart*>(start);
  helper.body(helper.context);
  return nullptr;
}

}  // namespace

// The thread starts with every signal blocked, inherited from the mask in
// force while it is created.
bool startHelperThread(void (*body)(void*), void* context) {
  auto* start = new (std::nothrow) HelperStart{body, context};
  if (start == nullptr) return false;
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pthread_attr_t attributes;
  bool started = pthread_attr_init(&attributes) == 0;
  if (started) {
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    started = pthread_create(&thread, &attributes, runHelper, start) == 0;
    pthread_attr_destroy(&attributes);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!started) delete start;
  return started;
}

// ---- Control events and processor exceptions -----------------------------------------

sigset_t controlSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : controlSignals)
    sigaddset(&set, signal);
  return set;
}

void holdControlEvents() {
  const sigset_t set = controlSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// A control signal that the parent left ignored (a background job's
// control-C, a hang-up under nohup) stays ignored, as a console's ignore
// setting is inherited elsewhere too.
void handleControlEvents(ControlHandler handler) {
  controlHandler = handler;
  ownerMarker = &threadMarker;
  useAlternateStack();
  for (int signal : controlSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    handleSignal(signal, nullptr, onControlSignal);
  }
  // A held event arrives here, at the handler.
  const sigset_t set = controlSignalSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool onOwnerThread() { return ownerMarker == nullptr || ownerMarker == &threadMarker; }

void stopOwnerThread() {
  // Every handler of this layer runs on the owner thread: helper threads
  // block the control signals and make no access that could fault, so
  // there is never another thread to stop.
}

void installExceptionHandler(ExceptionHandler handler) {
  exceptionHandler = handler;
  recordMainStack();
  useAlternateStack();
  for (std::size_t i = 0; i < std::size(exceptionSignals); ++i)
    handleSignal(exceptionSignals[i], onExceptionSignal, nullptr, &previousActions[i]);
}

void passExceptionOn(ProcessorException exception) { restorePrevious(static_cast<int>(exception.code)); }

}  // namespace quadrel::platform
