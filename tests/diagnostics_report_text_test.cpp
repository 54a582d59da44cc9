// The bytes of reports: catalogue lines, system error lines, the text-stream
// translation, processor exception texts and start-up failure texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "services/diagnostics/reports.h"
#include "services/diagnostics/startup.h"

namespace quadrel {
namespace {

std::string errorStreamBytes(StatusCode code, std::vector<ReportArgument> arguments) {
  return toTextStream(catalogueLine(code, arguments));
}

TEST(ReportLine, PrefixNumberAndFilledTextEndInCrCrLf) {
  struct Case {
    StatusCode code;
    std::vector<ReportArgument> arguments;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {status::fileNotFound,
       {1, "/home/user/in a.wav"},
       "forrtl: severe (29): file not found, unit 1, file /home/user/in a.wav\r\r\n"},
      {status::errorDuringWrite,
       {6, "CONOUT$"},
       "forrtl: severe (38): error during write, unit 6, file CONOUT$\r\r\n"},
      {status::endOfFileDuringRead,
       {5, "CONIN$"},
       "forrtl: severe (24): end-of-file during read, unit 5, file CONIN$\r\r\n"},
      {status::fileNotFound, {9, ""}, "forrtl: severe (29): file not found, unit 9, file \r\r\n"},
      {status::controlEvent,
       {"control-BREAK"},
       "forrtl: error (200): program aborting due to control-BREAK event\r\r\n"},
      {status::floatConversionFailed, {}, "forrtl: info (95): floating point conversion failed\r\r\n"},
      {status::endOfFile, {}, "forrtl: severe (613): end of file encountered\r\r\n"},
      {status::inconsistentOpenClose,
       {1, "f"},
       "forrtl: severe (46): inconsistent OPEN/CLOSE parameters, unit 1, file f\r\r\n"},
      {status::flawedDivider,
       {},
       "forrtl: severe (201): Intel Pentium fdiv flaw detected, please update the processor\r\r\n"},
      // Not in the catalogue: the class's prefix, the number, and a single LF
      // that the stream turns into CR LF.
      {StatusCode{0xC00003E7}, {1, "x"}, "forrtl: severe (999): Message not found\r\n"},
      {StatusCode{0x00000007}, {}, "forrtl (7): Message not found\r\n"},
      {StatusCode{0x4000FFFF}, {}, "forrtl: info (65535): Message not found\r\n"},
      // A file name is printed as it is: no conversion inside it, and an LF
      // inside it is translated like any other.
      {status::openFailure,
       {2, "50%d %s.wav"},
       "forrtl: severe (30): open failure, unit 2, file 50%d %s.wav\r\r\n"},
      {status::openFailure, {2, "a\nb\r"}, "forrtl: severe (30): open failure, unit 2, file a\r\nb\r\r\r\n"},
      {status::permissionDenied,
       {-7, "f"},
       "forrtl: severe (9): permission to access file denied, unit -7, file f\r\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(errorStreamBytes(c.code, c.arguments), c.expected);
  }
}

// Built into a fixed buffer, as the ending of a control event needs it.
TEST(ReportLine, ControlEventReportsAreTheirCatalogueLines) {
  const std::pair<int, std::string_view> events[] = {
      {0, "control-C"}, {1, "control-BREAK"}, {2, "menu-CLOSE"}, {5, "unknown"}, {6, "unknown"}};
  for (const auto& [event, name] : events) {
    SCOPED_TRACE(event);
    EXPECT_EQ(controlEventReport(event).text(), errorStreamBytes(status::controlEvent, {name}));
  }
}

TEST(ReportLine, TemplateFillingTakesArgumentsInOrder) {
  const std::vector<ReportArgument> two{12, "name"};
  EXPECT_EQ(fillTemplate("unit %d, file %s", two), "unit 12, file name");
  EXPECT_EQ(fillTemplate("%i%%%s", two), "12%name");
  EXPECT_EQ(fillTemplate("unit %d, file %s, again %d", two), "unit 12, file name, again ");
  EXPECT_EQ(fillTemplate("%x and 100%", two), "%x and 100%");
  EXPECT_EQ(fillTemplate("%s", std::vector<ReportArgument>{-2147483647 - 1}), "-2147483648");
}

TEST(ReportLine, UnitWithoutNameIsUnknownInQuotes) {
  UnitRecord unit;
  EXPECT_EQ(reportedFileName(unit), "\"Unknown\"");
  EXPECT_EQ(reportedFileName(unit).size(), 9u);
  unit.fileName = "/tmp/a.wav";
  EXPECT_EQ(reportedFileName(unit), "/tmp/a.wav");
  unit.fileName = "";
  EXPECT_EQ(reportedFileName(unit), "");
  unit.fileName = std::string("/tmp/a\0b", 8);
  EXPECT_EQ(reportedFileName(unit), "/tmp/a");
}

TEST(SystemErrorLine, PlatformTextCarriesItsOwnLineEnd) {
  const std::optional<std::string> text = platform::errorText(ENOENT);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, "No such file or directory\r\n");
  EXPECT_EQ(toTextStream(systemErrorLine(ENOENT, text)), "forrtl: No such file or directory\r\r\n");
}

TEST(SystemErrorLine, WithoutPlatformTextTheLineStaysOpen) {
  EXPECT_EQ(platform::errorText(123456), std::nullopt);
  EXPECT_EQ(systemErrorLine(123456, std::nullopt),
            "forrtl: FormatMessage failed for sysmem message number 123456");
}

TEST(ProcessorExceptionText, EachKindHasItsTextAndOneLineEnd) {
  using platform::ExceptionKind;
  struct Case {
    ExceptionKind kind;
    std::uint32_t code;
    std::string_view text;
  };
  const Case cases[] = {
      {ExceptionKind::accessViolation, 11, "forrtl: severe: Program Exception - access violation\r\n"},
      {ExceptionKind::stackOverflow, 11, "forrtl: severe: Program Exception - stack overflow\r\n"},
      {ExceptionKind::datatypeMisalignment, 7,
       "forrtl: severe: Program Exception - datatype misalignment\r\n"},
      {ExceptionKind::inPageError, 7, "forrtl: severe: Program Exception - in page error\r\n"},
      {ExceptionKind::breakpoint, 5, "forrtl: severe: Program Exception - breakpoint\r\n"},
      {ExceptionKind::singleStep, 5, "forrtl: severe: Program Exception - single step\r\n"},
      {ExceptionKind::illegalInstruction, 4, "forrtl: severe: Program Exception - illegal instruction\r\n"},
      {ExceptionKind::privilegedInstruction, 4,
       "forrtl: severe: Program Exception - privileged instruction\r\n"},
      {ExceptionKind::integerDivideByZero, 8,
       "forrtl: severe: Program Exception - integer divide by zero\r\n"},
      {ExceptionKind::integerOverflow, 8, "forrtl: severe: Program Exception - integer overflow\r\n"},
      {ExceptionKind::noncontinuable, 0, "forrtl: severe: Program Exception - noncontinuable exception\r\n"},
      {ExceptionKind::invalidDisposition, 0, "forrtl: severe: Program Exception - invalid disposition\r\n"},
      {ExceptionKind::arrayBoundsExceeded, 0,
       "forrtl: severe: Program Exception - array bounds exceeded\r\n"},
      {ExceptionKind::other, 6, "forrtl: severe: Program Exception, exception code = 0x6 (6) \r\n"},
      {ExceptionKind::other, 0, "forrtl: severe: Program Exception, exception code = 0x0 (0) \r\n"},
      // Only the low 16 bits are shown.
      {ExceptionKind::other, 0xC0000096,
       "forrtl: severe: Program Exception, exception code = 0x96 (150) \r\n"},
      {ExceptionKind::other, 0x1FFFF,
       "forrtl: severe: Program Exception, exception code = 0xffff (65535) \r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(exceptionReport({c.kind, c.code}).text(), c.text);
  }
}

TEST(StartupFailureText, CrLfRuntimeErrorNumberAndDescription) {
  EXPECT_EQ(startupFailureText(StartupFailure::commandWords),
            "\r\nruntime error R6008\r\n- not enough space for arguments\r\n");
  EXPECT_EQ(startupFailureText(StartupFailure::environment),
            "\r\nruntime error R6009\r\n- not enough space for environment\r\n");
}

}  // namespace
}  // namespace quadrel
