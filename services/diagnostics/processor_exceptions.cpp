// The processor exception guard: the text on standard output, the output
// saved, status 0; or, under FOR_IGNORE_EXCEPTIONS, the platform's own way.
//
// Everything here runs inside a signal handler on the faulting thread: only
// async-signal-safe calls, no allocation, no locks.
#include "services/diagnostics/processor_exceptions.h"

#include <atomic>
#include <cstdint>

#include "services/diagnostics/termination.h"
#include "services/diagnostics/termination_owner.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

std::atomic<bool> ignoreExceptions{false};

constexpr std::string_view lineEnd = "\r\n";

std::string_view fixedText(platform::ExceptionKind kind) {
  using platform::ExceptionKind;
  switch (kind) {
    case ExceptionKind::datatypeMisalignment:
      return "forrtl: severe: Program Exception - datatype misalignment";
    case ExceptionKind::breakpoint:
      return "forrtl: severe: Program Exception - breakpoint";
    case ExceptionKind::singleStep:
      return "forrtl: severe: Program Exception - single step";
    case ExceptionKind::accessViolation:
      return "forrtl: severe: Program Exception - access violation";
    case ExceptionKind::inPageError:
      return "forrtl: severe: Program Exception - in page error";
    case ExceptionKind::illegalInstruction:
      return "forrtl: severe: Program Exception - illegal instruction";
    case ExceptionKind::noncontinuable:
      return "forrtl: severe: Program Exception - noncontinuable exception";
    case ExceptionKind::invalidDisposition:
      return "forrtl: severe: Program Exception - invalid disposition";
    case ExceptionKind::arrayBoundsExceeded:
      return "forrtl: severe: Program Exception - array bounds exceeded";
    case ExceptionKind::integerDivideByZero:
      return "forrtl: severe: Program Exception - integer divide by zero";
    case ExceptionKind::integerOverflow:
      return "forrtl: severe: Program Exception - integer overflow";
    case ExceptionKind::privilegedInstruction:
      return "forrtl: severe: Program Exception - privileged instruction";
    case ExceptionKind::stackOverflow:
      return "forrtl: severe: Program Exception - stack overflow";
    case ExceptionKind::other:
      break;
  }
  return {};
}

class ReportBuilder {
 public:
  explicit ReportBuilder(ExceptionReport& report) : report_(report) {}

  void append(std::string_view text) {
    for (char c : text) {
      if (report_.size < report_.bytes.size()) report_.bytes[report_.size++] = c;
    }
  }

  void appendNumber(std::uint32_t value, std::uint32_t base) {
    char digits[32];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % base];
      value /= base;
    } while (value != 0);
    while (count > 0)
      append({&digits[--count], 1});
  }

 private:
  ExceptionReport& report_;
};

}  // namespace

ExceptionReport exceptionReport(platform::ProcessorException exception) {
  ExceptionReport report;
  ReportBuilder builder(report);
  if (exception.kind != platform::ExceptionKind::other) {
    builder.append(fixedText(exception.kind));
  } else {
    const std::uint32_t low = exception.code & 0xFFFF;
    builder.append("forrtl: severe: Program Exception, exception code = 0x");
    builder.appendNumber(low, 16);
    builder.append(" (");
    builder.appendNumber(low, 10);
    builder.append(") ");
  }
  builder.append(lineEnd);
  return report;
}

void setIgnoreProcessorExceptions(bool ignore) { ignoreExceptions.store(ignore); }

void onProcessorException(platform::ProcessorException exception) {
  if (ignoreExceptions.load()) {
    // Nothing is written, but completed output still reaches its file.
    flushBinaryUnitsFromSignal();
    platform::passExceptionOn(exception);
    return;
  }
  const TerminationClaim claim = claimTermination();
  const ExceptionReport report = exceptionReport(exception);
  platform::writeAll(platform::standardHandle(platform::StandardStream::output), report.bytes.data(),
                     report.size);
  // When this thread was already ending the process, the fault may have come
  // from that very closing: the units are not touched again.
  if (claim == TerminationClaim::won) flushBinaryUnitsFromSignal();
  platform::exitProcess(0);
}

}  // namespace quadrel
