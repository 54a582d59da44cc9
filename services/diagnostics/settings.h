// Every environment variable the program reads: when it is read and why
// then. No other file reads the environment.
//
//   FOR_NOERROR_DIALOGS     At start-up: it sets the platform's error mode
//                           once, for the whole run.
//   FOR_IGNORE_EXCEPTIONS   At start-up, before the processor exception
//                           guard is installed: the guard consults it from
//                           a signal handler, where the environment cannot
//                           be read.
//   FOR_RUN_FLAWED_PENTIUM  At start-up, for the divider check made there.
//   FORT0                   At start-up, set at all counting, so that an
//                           ending at once finds it taken; a process that
//                           never ran the start-up takes it at its first
//                           report.
//   FORT5                   At first use, when unit 5 first reads: the file
//                           is opened then, and a run that takes its names
//                           from the command line never opens it.
//   FORT6                   At first use, when unit 6 writes its first
//                           record, for the same reason.
//   FORT_CONVERTn           At every open of binary unit n, after its file
//                           is opened or created: an unknown value fails
//                           that open, with the file already in place.
//
// Names are matched without regard to case. A read may allocate, so none
// is made by an ending at once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quadrel {

// The settings copied at start-up. Reading them may throw std::bad_alloc,
// which the start-up reports as its own failure.
struct StartupSettings {
  bool noErrorDialogs = false;
  bool ignoreExceptions = false;
  bool runFlawedDivider = false;
  std::optional<std::string> errorStreamFile;  // FORT0
};
StartupSettings readStartupSettings();

// FORT0, for a process that never ran the start-up.
std::optional<std::string> errorStreamFileSetting();

// FORT5 and FORT6 as they stand, untrimmed.
std::optional<std::string> consoleInputFileSetting();
std::optional<std::string> consoleOutputFileSetting();

// FORT_CONVERTn for binary unit `unit`.
std::optional<std::string> byteOrderSetting(int unit);

// The rule for a flag's value: empty is false; a first character of t or y
// (either case) is true; all decimal digits is true when not zero; anything
// else is false.
bool flagValueIsSet(std::optional<std::string_view> value);

// Looks the variable up (name matched without regard to case) and applies
// flagValueIsSet.
bool envFlagIsSet(std::string_view name);

}  // namespace quadrel
