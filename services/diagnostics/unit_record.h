// What every unit, console or binary, carries for the diagnostics.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace quadrel {

struct UnitRecord {
  int number = 0;
  // The name reports print for "file %s"; absent prints "Unknown" in quotes.
  std::optional<std::string> fileName;
  // The platform error of the failing call, 0 = none; cleared when reported.
  platform::SystemError savedSystemError = 0;
  // Held by the thread that operates on the unit, so that the closing at
  // exit can tell a unit that is in use. Recursive: a failure report made
  // inside an operation closes the units on the same thread.
  std::recursive_timed_mutex inUse;
};

}  // namespace quadrel
