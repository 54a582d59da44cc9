// Reports that end the process and reports that return, each run in a
// child process: exit statuses, the order of the lines, the saved error.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/platform.h"
#include "services/diagnostics/reports.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

using ::testing::ExitedWithCode;

TEST(TerminationDeathTest, SevereReportExitsWithTheCodesLowByte) {
  EXPECT_EXIT(
      reportStatus(status::flawedDivider, {}), ExitedWithCode(201),
      "^forrtl: severe \\(201\\): Intel Pentium fdiv flaw detected, please update the processor\r\r\n$");
  EXPECT_EXIT(reportStatus(status::endOfFile, {}), ExitedWithCode(101), "end of file encountered");
  EXPECT_EXIT(endProcess(0xC000001D), ExitedWithCode(29), "^$");
  EXPECT_EXIT(stopRun(), ExitedWithCode(0), "^$");
  EXPECT_EXIT(endProgram(), ExitedWithCode(0), "^$");
}

TEST(TerminationDeathTest, UnitFailureWritesSavedSystemErrorFirst) {
  UnitRecord unit;
  unit.number = 1;
  unit.fileName = "/data/wx.wav";
  unit.savedSystemError = 2;
  EXPECT_EXIT(reportUnitFailure(unit, status::fileNotFound), ExitedWithCode(29),
              "^forrtl: No such file or directory\r\r\n"
              "forrtl: severe \\(29\\): file not found, unit 1, file /data/wx.wav\r\r\n$");
}

TEST(TerminationDeathTest, FailUnitEndsTheProcessEvenForAReturningClass) {
  UnitRecord unit;
  unit.number = 9;
  EXPECT_EXIT(failUnit(unit, status::floatConversionFailed), ExitedWithCode(0x5F),
              "^forrtl: info \\(95\\): floating point conversion failed\r\r\n$");
}

TEST(TerminationDeathTest, InfoAndErrorReportsReturnTheNumberAndClearTheSavedError) {
  EXPECT_EXIT(
      {
        UnitRecord unit;
        unit.number = 2;
        unit.savedSystemError = 999999;
        const int number = reportUnitFailure(unit, status::floatConversionFailed);
        const bool cleared = unit.savedSystemError == 0;
        const int control = reportStatus(status::controlEvent, {"control-C"});
        std::_Exit(number == 95 && cleared && control == 200 ? 7 : 1);
      },
      ExitedWithCode(7),
      "^forrtl: FormatMessage failed for sysmem message number 999999"
      "forrtl: info \\(95\\): floating point conversion failed\r\r\n"
      "forrtl: error \\(200\\): program aborting due to control-C event\r\r\n$");
}

// A control-C that comes before the handler is in place is held for it,
// not left to the system's default, which would end the process at once.
TEST(TerminationDeathTest, ControlEventBeforeTheHandlerWaitsForIt) {
  EXPECT_EXIT(
      {
        platform::holdControlEvents();
        std::raise(SIGINT);
        platform::handleControlEvents([](int event) { std::_Exit(40 + event); });
        std::_Exit(1);
      },
      ExitedWithCode(40), "^$");
}

// An exception passed on takes the course it had before the guard: here a
// handler of the host's, not the default that would kill the process.
TEST(TerminationDeathTest, ExceptionPassedOnReachesThePreviousDisposition) {
  EXPECT_EXIT(
      {
        std::signal(SIGABRT, [](int) { std::_Exit(50); });
        platform::installExceptionHandler(
            [](platform::ProcessorException e) { platform::passExceptionOn(e); });
        std::raise(SIGABRT);
        std::_Exit(1);
      },
      ExitedWithCode(50), "^$");
}

}  // namespace
}  // namespace quadrel
