// The end-to-end tests run either the Linux program or the Windows program
// through Wine: with QUADREL_WINDOWS_PROGRAM set at configuration, or with
// QUADREL_TEST_PROGRAM naming a Wine wrapper of quadrel.exe and
// QUADREL_TEST_UNDER_WINE set when the tests run. The bytes of both are the same except where the platform
// speaks: its full paths and its texts for error codes. These helpers give the expected bytes in either case,
// and tell the tests which one runs, so that cases Wine cannot reproduce are skipped with their reason.
#pragma once

#include <string>
#include <string_view>

namespace quadrel::harness {

// True when the program under test is the Windows one, run through Wine.
bool programRunsUnderWine();

// Why a case that runs faultyProgramPath() is skipped under Wine: the
// fault-injection layer is built for Linux only, so such a run would repeat
// the Linux suite's run of the Linux program.
inline constexpr std::string_view faultLayerUnderWine =
    "the fault-injection program is the Linux one: the Linux suite runs this case";

// The report of a failed unit operation as the program under test writes it
// at the start of `err`: the system error line (none when `linuxText` is
// empty), then the catalogue line with the entry's number and text, the
// unit and the file. A file given by its absolute Linux path is named by
// the Windows program in the Windows form of the same file (drive Z: is the
// Linux root, backslashes separate the parts); any other name, such as
// "CONOUT$" or an empty one, stays as it is. The system line is
// "forrtl: ", the system's text, CR CR LF: `linuxText` for the Linux program;
// the Windows program's text is the system's own, so there the line is
// checked by its form only (one line of text in `err`, taken as it is).
std::string unitFailureReport(std::string_view err, std::string_view linuxText, int number,
                              std::string_view text, int unit, std::string_view file);

}  // namespace quadrel::harness
