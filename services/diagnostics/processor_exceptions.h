// The processor exception guard: its texts and its one setting.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/platform.h"

namespace quadrel {

// The bytes written for an exception: its text and CR LF. Built without
// allocating, as it is built inside a signal handler.
struct ExceptionReport {
  std::array<char, 128> bytes{};
  std::size_t size = 0;

  std::string_view text() const { return {bytes.data(), size}; }
};

// The text for `exception`, chosen by its kind; "other" shows the low 16 bits
// of the code in hexadecimal and in decimal.
ExceptionReport exceptionReport(platform::ProcessorException exception);

// Set once at start-up from FOR_IGNORE_EXCEPTIONS, before the guard is
// installed: the environment cannot be read inside a signal handler.
void setIgnoreProcessorExceptions(bool ignore);

}  // namespace quadrel
