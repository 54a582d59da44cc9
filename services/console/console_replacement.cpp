// The files that FORT5 and FORT6 put in place of standard input and output.
#include "services/console/console_replacement.h"

namespace quadrel {

std::optional<std::string> consoleReplacementName(const std::optional<std::string>& value) {
  if (!value || value->empty()) return std::nullopt;
  const std::size_t first = value->find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const std::size_t last = value->find_last_not_of(' ');
  return value->substr(first, last - first + 1);
}

void closeConsoleConnection(ConsoleConnection& unit) {
  if (!unit.connected) return;
  unit.connected = false;
  if (!unit.ownsHandle) return;
  const platform::Handle handle = unit.handle.exchange(platform::noHandle);
  if (handle == platform::noHandle) return;
  if (const platform::SystemError error = platform::closeHandle(handle); error != 0) {
    failUnitCall(unit.record, status::closeError, error);
  }
}

void closeConsoleConnectionAtOnce(ConsoleConnection& unit) {
  if (!unit.ownsHandle) return;
  const platform::Handle handle = unit.handle.exchange(platform::noHandle);
  if (handle != platform::noHandle) platform::closeHandle(handle);
}

}  // namespace quadrel
