// Console control events and processor exceptions on Windows.
//
// The system runs a console control handler on a thread that it starts for
// the event; the handler registered here calls the program's handler, which
// ends the process and never returns.
//
// Processor exceptions reach the unhandled-exception filter on the faulting
// thread once no frame has taken them. When the program's handler returns,
// the exception is passed on to the system's default handling.
#include <array>

#include "platform/windows/win32.h"

namespace quadrel::platform {
namespace {

// Registrations, each made once at start-up before it can be used.
ControlHandler controlHandler = nullptr;
ExceptionHandler exceptionHandler = nullptr;

// Stack kept back for the filter when the main thread runs off its stack.
constexpr ULONG stackKeptForOverflow = 64 * 1024;

BOOL WINAPI onControlEvent(DWORD event) {
  controlHandler(static_cast<int>(event));
  return TRUE;
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* pointers) {
  const auto code = static_cast<std::uint32_t>(pointers->ExceptionRecord->ExceptionCode);
  exceptionHandler({windows::exceptionKindOf(code), code});
  return EXCEPTION_CONTINUE_SEARCH;
}

struct KindByCode {
  std::uint16_t low;
  ExceptionKind kind;
};

// The low 16 bits of the system's exception codes (EXCEPTION_* in winnt.h).
constexpr std::array<KindByCode, 13> kindsByCode{{
    {0x0002, ExceptionKind::datatypeMisalignment},
    {0x0003, ExceptionKind::breakpoint},
    {0x0004, ExceptionKind::singleStep},
    {0x0005, ExceptionKind::accessViolation},
    {0x0006, ExceptionKind::inPageError},
    {0x001D, ExceptionKind::illegalInstruction},
    {0x0025, ExceptionKind::noncontinuable},
    {0x0026, ExceptionKind::invalidDisposition},
    {0x008C, ExceptionKind::arrayBoundsExceeded},
    {0x0094, ExceptionKind::integerDivideByZero},
    {0x0095, ExceptionKind::integerOverflow},
    {0x0096, ExceptionKind::privilegedInstruction},
    {0x00FD, ExceptionKind::stackOverflow},
}};

}  // namespace

namespace windows {

ExceptionKind exceptionKindOf(std::uint32_t code) {
  for (const KindByCode& entry : kindsByCode) {
    if (entry.low == (code & 0xFFFF)) return entry.kind;
  }
  return ExceptionKind::other;
}

}  // namespace windows

void startControlEventThread(ControlHandler handler) {
  controlHandler = handler;
  SetConsoleCtrlHandler(onControlEvent, TRUE);
}

void installExceptionHandler(ExceptionHandler handler) {
  exceptionHandler = handler;
  ULONG kept = stackKeptForOverflow;
  SetThreadStackGuarantee(&kept);
  SetUnhandledExceptionFilter(onUnhandledException);
}

void passExceptionOn(ProcessorException) {
  // The filter answers EXCEPTION_CONTINUE_SEARCH once the handler returns.
}

}  // namespace quadrel::platform
