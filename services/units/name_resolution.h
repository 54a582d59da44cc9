// Turning an 80-byte name field into the name a unit opens and reports.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quadrel {

enum class ConsoleDevice { standardInput, standardOutput, standardError };

struct ResolvedName {
  std::string fileName;                  // what reports print
  std::string openPath;                  // what is opened: the file name, or a device's platform path
  std::optional<ConsoleDevice> console;  // set for a console device name
  bool device = false;                   // a device name, never expanded
};

// Drops leading blanks and trailing blanks and NULs, ends the name at its
// first NUL, matches the device names, and expands the rest to a full path.
ResolvedName resolveName(std::string_view nameField);

// The device name matching rule on a bare name: the part before the last
// "." counts when it is 3, 4, 6 or 7 characters long. Returns the
// upper-cased device name or nothing.
std::optional<std::string> matchDeviceName(std::string_view name);

}  // namespace quadrel
