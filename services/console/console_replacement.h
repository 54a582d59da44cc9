// The files that FORT5 and FORT6 put in place of standard input and output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "services/diagnostics/open_failure_status.h"
#include "services/diagnostics/unit_record.h"

namespace quadrel {

// The file that the environment variable `variable` names, without leading
// and trailing blanks. Nothing when the variable is absent or empty, as on
// platforms where a variable cannot hold an empty text.
std::optional<std::string> consoleReplacementName(std::string_view variable);

// What the two console units share: the record that reports quote and the
// handle the unit was connected to on first use.
struct ConsoleConnection {
  ConsoleConnection(int number, const char* name) {
    record.number = number;
    record.fileName = name;
  }

  UnitRecord record;
  platform::Handle handle = platform::noHandle;
  bool connected = false;
  bool ownsHandle = false;  // a FORT5 or FORT6 file, closed at exit
  bool closedAtExit = false;
};

// Closes a console unit at the end of the process without writing
// anything; a unit in use by another thread is skipped. A failed close of
// a FORT5 or FORT6 file is reported as a CLOSE error.
void closeConsoleConnectionAtExit(ConsoleConnection& unit);

}  // namespace quadrel
