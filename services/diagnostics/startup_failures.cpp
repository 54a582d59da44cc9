// Run-time start-up failures: R60xx texts and status 255.
#include "services/diagnostics/startup_failures.h"

#include "platform/platform.h"

namespace quadrel {

std::string_view startupFailureText(StartupFailure failure) {
  switch (failure) {
    case StartupFailure::heap:
      return "\r\nruntime error R6028\r\n- unable to initialize heap\r\n";
    case StartupFailure::lowLevelHandles:
      return "\r\nruntime error R6027\r\n- not enough space for lowio initialization\r\n";
    case StartupFailure::standardStreams:
      return "\r\nruntime error R6026\r\n- not enough space for stdio initialization\r\n";
    case StartupFailure::commandWords:
      return "\r\nruntime error R6008\r\n- not enough space for arguments\r\n";
    case StartupFailure::environment:
      break;
  }
  return "\r\nruntime error R6009\r\n- not enough space for environment\r\n";
}

void failStartup(StartupFailure failure) {
  const std::string_view text = startupFailureText(failure);
  platform::writeAll(platform::standardHandle(platform::StandardStream::error), text.data(), text.size());
  platform::exitProcess(255);
}

}  // namespace quadrel
