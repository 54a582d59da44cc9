// What the two console units share: the files that FORT5 and FORT6 put in
// place of standard input and output, and their closing at the end.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "services/diagnostics/reports.h"

namespace quadrel {

// The file that a FORT5 or FORT6 `value` names, without leading and
// trailing blanks. Nothing when the variable is absent or empty, as on
// platforms where a variable cannot hold an empty text.
std::optional<std::string> consoleReplacementName(const std::optional<std::string>& value);

// A console unit: the record that reports quote and the handle the unit was
// connected to on first use. Only the owner thread operates on it; the
// handle is atomic so that an ending at once closes it exactly once
// (termination.h).
struct ConsoleConnection {
  ConsoleConnection(int number, const char* name) {
    record.number = number;
    record.fileName = name;
  }

  UnitRecord record;
  std::atomic<platform::Handle> handle{platform::noHandle};
  bool connected = false;
  bool ownsHandle = false;  // a FORT5 or FORT6 file, closed at the end
};

// Closes a console unit at the end of the process without writing
// anything. A failed close of a FORT5 or FORT6 file is reported as a CLOSE
// error.
void closeConsoleConnection(ConsoleConnection& unit);

// The same from an ending at once: async-signal-safe, failures ignored.
void closeConsoleConnectionAtOnce(ConsoleConnection& unit);

}  // namespace quadrel
