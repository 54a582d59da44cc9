// The end-to-end tests run either the Linux program or, with
// QUADREL_WINDOWS_PROGRAM set at configuration, the Windows program through
// Wine. The bytes of both are the same except where the platform speaks:
// its full paths and its texts for error codes. These helpers give the
// expected bytes in either case, and tell the tests which one runs, so that
// cases Wine cannot reproduce are skipped with their reason.
#pragma once

#include <string>
#include <string_view>

namespace quadrel::harness {

// True when the program under test is the Windows one, run through Wine.
bool programRunsUnderWine();

// The name under which the program reports a file the test knows by its
// absolute Linux path: that path, or under Wine the Windows form of the same
// file (drive Z: is the Linux root, backslashes separate the parts). Any
// other name, such as "CONOUT$" or an empty one, stays as it is.
std::string reportedPath(std::string_view linuxPath);

// The system error line expected at the start of `err`: "forrtl: ", the
// system's text for the error, CR CR LF. For the Linux program the text is
// `linuxText`. The Windows program's text is the system's own, so there the
// line is checked by its form: when `err` starts with "forrtl: " and one line
// of text ending in CR CR LF, that line is returned, and the caller's exact
// comparison covers the rest; otherwise a line that cannot match.
std::string systemLine(std::string_view err, std::string_view linuxText);

// The report of a failed unit operation as the program under test writes it
// at the start of `err`: the system error line (none when `linuxText` is
// empty), then the catalogue line with the entry's number and text, the
// unit and the file, given as for reportedPath().
std::string unitFailureReport(std::string_view err, std::string_view linuxText, int number,
                              std::string_view text, int unit, std::string_view file);

}  // namespace quadrel::harness
