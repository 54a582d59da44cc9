// Console control events and processor exceptions on POSIX.
//
// Control events are the signals SIGINT, SIGQUIT, SIGHUP and SIGTERM. They
// are blocked in every thread and taken by one thread that waits for them,
// so the handler runs as ordinary code, as a control handler does on a
// thread of its own elsewhere.
//
// Processor exceptions are the synchronous signals. They are caught on an
// alternate stack, so that a stack overflow can still be reported.
#include <cerrno>
#include <csignal>
#include <cstdint>

#include <pthread.h>
#include <unistd.h>

#include "platform/platform.h"

namespace quadrel::platform {
namespace {

constexpr int controlSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
constexpr int exceptionSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};

// Registrations, each made once at start-up before it can be used.
ControlHandler controlHandler = nullptr;
sigset_t takenControlSignals;
ExceptionHandler exceptionHandler = nullptr;

// The main thread's stack: its lowest address, and how far below it a fault
// still counts as running off the stack (the kernel's default guard gap).
std::uintptr_t mainStackLow = 0;
std::uintptr_t pageSize = 4096;
constexpr std::uintptr_t stackGuardSpan = std::uintptr_t{1} << 20;

alignas(16) char alternateStack[128 * 1024];

// The control signals this process takes. One that the parent left ignored
// (a background job's control-C, a hang-up under nohup) stays ignored, as a
// console's ignore setting is inherited elsewhere too.
sigset_t controlSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : controlSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&set, signal);
  }
  return set;
}

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

void* waitForControlEvents(void*) {
  for (;;) {
    int signal = 0;
    if (sigwait(&takenControlSignals, &signal) == 0) controlHandler(eventNumber(signal));
  }
}

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

void restoreDefault(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

void onExceptionSignal(int signal, siginfo_t* info, void*) {
  const int savedErrno = errno;
  exceptionHandler({classify(signal, *info), static_cast<std::uint32_t>(signal)});
  // The handler returned: the exception takes its default course. The signal
  // stays blocked until this function returns, and then ends the process; a
  // fault would also come back when its instruction is run again.
  restoreDefault(signal);
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

}  // namespace

void startControlEventThread(ControlHandler handler) {
  controlHandler = handler;
  takenControlSignals = controlSignalSet();
  pthread_sigmask(SIG_BLOCK, &takenControlSignals, nullptr);

  // The new thread blocks every signal, so that a signal sent to the process
  // that is not a control event, kill -SEGV included, reaches the main thread.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pthread_t thread;
  const int started = pthread_create(&thread, nullptr, waitForControlEvents, nullptr);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (started != 0) {
    // Without the thread the events keep their default action rather than
    // being held back for good.
    pthread_sigmask(SIG_UNBLOCK, &takenControlSignals, nullptr);
    return;
  }
  pthread_detach(thread);
}

void installExceptionHandler(ExceptionHandler handler) {
  exceptionHandler = handler;
  recordMainStack();

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = onExceptionSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigfillset(&action.sa_mask);
  for (int signal : exceptionSignals)
    sigaction(signal, &action, nullptr);
}

void passExceptionOn(ProcessorException exception) { restoreDefault(static_cast<int>(exception.code)); }

}  // namespace quadrel::platform
