// Whole runs of the program: failure reports, control events, processor
// exceptions and the error-output redirection, compared byte for byte.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/program_run.h"
#include "tests/support/program_under_wine.h"
#include "tests/support/wav_builder.h"

namespace quadrel {
namespace {

namespace t = quadrel::harness;

constexpr std::string_view wxPrompt = "Name of the WX stereo .WAV      file = ";

// Under Wine a signal sent by another process is no processor exception of
// the program: Wine ends the pending system call with an error instead. The
// Windows layer's own tests raise real exceptions in-process.
constexpr std::string_view exceptionsUnderWine =
    "Wine turns no signal from outside into a processor exception";

// `err` is where the report is, for the system line's form under Wine.
std::string missingWxReport(const std::string& dir, std::string_view err) {
  return t::systemLine(err, "No such file or directory") +
         "forrtl: severe (29): file not found, unit 1, file " + t::reportedPath(dir + "/missing.wav") +
         "\r\r\n";
}

t::RunRequest missingWxRun() {
  t::RunRequest request;
  request.args = {"missing.wav", "yz.wav", "out.wav"};
  request.files["yz.wav"] = t::buildWav(t::stereo16(16, 2));
  return request;
}

// Starts the program without names, waits for its first prompt, sends
// `signal` and collects the run.
t::RunResult signalAtPrompt(int signal, const std::map<std::string, std::string>& env = {}) {
  t::RunRequest request;
  request.env = env;
  t::RunningProgram program(request);
  EXPECT_TRUE(program.waitForOutput(wxPrompt)) << program.out();
  program.sendSignal(signal);
  return program.finish();
}

TEST(DiagnosticsEndToEnd, MissingWxFileShowsSystemLineThenFileNotFound) {
  const t::RunResult result = t::runProgram(missingWxRun());
  EXPECT_EQ(result.err, missingWxReport(result.dir, result.err));
  EXPECT_EQ(result.exitStatus, 29);  // low byte of 0xC000001D
  EXPECT_NE(result.out.find("File Name of the .WAV output file = out.wav"), std::string::npos);
  EXPECT_EQ(result.out.find("forrtl"), std::string::npos);
  EXPECT_EQ(result.files.count("out.wav"), 0u);
}

TEST(DiagnosticsEndToEnd, RejectedPairWritesNothingOnStandardError) {
  t::WavSpec mono = t::stereo16(16, 1);
  mono.channels = 1;
  t::RunRequest request;
  request.args = {"wx.wav", "yz.wav", "out.wav"};
  request.files["wx.wav"] = t::buildWav(mono);
  request.files["yz.wav"] = t::buildWav(t::stereo16(16, 2));
  const t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.termSignal, 0);
  EXPECT_NE(result.out.find("ERROR - The input files must be stereo"), std::string::npos);
}

TEST(DiagnosticsEndToEnd, ControlEventAtPromptReportsAndExitsWithEventNumber) {
  struct Case {
    int signal;
    std::string_view name;
    int status;
  };
  const Case cases[] = {{SIGINT, "control-C", 0},
                        {SIGQUIT, "control-BREAK", 1},
                        {SIGHUP, "menu-CLOSE", 2},
                        {SIGTERM, "unknown", 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Wine hands SIGINT to the control handler as control-C; SIGQUIT, SIGHUP
    // and SIGTERM do not reach the handler there.
    if (t::programRunsUnderWine() && c.signal != SIGINT) continue;
    const t::RunResult result = signalAtPrompt(c.signal);
    EXPECT_EQ(result.err,
              "forrtl: error (200): program aborting due to " + std::string(c.name) + " event\r\r\n");
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.exitStatus, c.status);
    // Nothing is added to standard output: the prompt stays as it was.
    EXPECT_EQ(result.out.substr(result.out.size() - wxPrompt.size()), wxPrompt);
  }
}

TEST(DiagnosticsEndToEnd, ControlSignalIgnoredByTheParentStaysIgnored) {
  if (t::programRunsUnderWine())
    GTEST_SKIP() << "Wine takes SIGINT over whatever the parent set, and SIGHUP and SIGTERM "
                    "do not reach the control handler there";
  t::RunRequest request;
  request.program = "/bin/sh";
  request.args = {"-c", "trap '' INT HUP; exec \"$0\"", t::programPath()};
  t::RunningProgram program(request);
  ASSERT_TRUE(program.waitForOutput(wxPrompt));
  program.sendSignal(SIGINT);
  program.sendSignal(SIGHUP);
  EXPECT_FALSE(program.waitForError("forrtl", std::chrono::milliseconds(300)));
  program.sendSignal(SIGTERM);
  const t::RunResult result = program.finish();
  EXPECT_EQ(result.err, "forrtl: error (200): program aborting due to unknown event\r\r\n");
  EXPECT_EQ(result.exitStatus, 6);
}

TEST(DiagnosticsEndToEnd, ProcessorExceptionSignalPrintsItsTextOnStandardOutputAndExitsZero) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << exceptionsUnderWine;
  struct Case {
    int signal;
    std::string_view text;
  };
  const Case cases[] = {
      {SIGSEGV, "forrtl: severe: Program Exception - access violation\r\n"},
      {SIGBUS, "forrtl: severe: Program Exception - in page error\r\n"},
      {SIGILL, "forrtl: severe: Program Exception - illegal instruction\r\n"},
      {SIGFPE, "forrtl: severe: Program Exception - integer divide by zero\r\n"},
      {SIGTRAP, "forrtl: severe: Program Exception - breakpoint\r\n"},
      {SIGABRT, "forrtl: severe: Program Exception, exception code = 0x6 (6) \r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const t::RunResult result = signalAtPrompt(c.signal);
    EXPECT_EQ(result.out.substr(result.out.size() - wxPrompt.size() - c.text.size()),
              std::string(wxPrompt) + std::string(c.text));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.exitStatus, 0);
  }
}

TEST(DiagnosticsEndToEnd, IgnoredExceptionsWriteNothingAndDieByTheSignal) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << exceptionsUnderWine;
  for (const char* value : {"true", "1", "Y"}) {
    SCOPED_TRACE(value);
    const t::RunResult result = signalAtPrompt(SIGSEGV, {{"FOR_IGNORE_EXCEPTIONS", value}});
    EXPECT_EQ(result.termSignal, SIGSEGV);
    EXPECT_EQ(result.out.substr(result.out.size() - wxPrompt.size()), wxPrompt);
    EXPECT_EQ(result.err, "");
  }
}

TEST(DiagnosticsEndToEnd, IgnoreExceptionsSetToZeroCountsAsNotSet) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << exceptionsUnderWine;
  const t::RunResult result = signalAtPrompt(SIGSEGV, {{"for_ignore_exceptions", "0"}});
  EXPECT_EQ(result.termSignal, 0);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("forrtl: severe: Program Exception - access violation\r\n"), std::string::npos);
}

TEST(DiagnosticsEndToEnd, Fort0AppendsReportsToItsFile) {
  t::RunRequest request = missingWxRun();
  request.env["FORT0"] = "diag.txt";
  request.files["diag.txt"] = "earlier run\r\n";
  const t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 29);
  const std::string& diagnostics = result.files.at("diag.txt");
  EXPECT_EQ(diagnostics, "earlier run\r\n" + missingWxReport(result.dir, diagnostics.substr(13)));
}

TEST(DiagnosticsEndToEnd, Fort0FileIsCreatedWhenAbsentAndNamedInAnyCase) {
  t::RunRequest request = missingWxRun();
  request.env["Fort0"] = "{dir}/logs/new.txt";
  request.prepare = [](const std::string& dir) { std::filesystem::create_directory(dir + "/logs"); };
  const t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 29);
  ASSERT_EQ(result.files.count("logs/new.txt"), 1u);
  EXPECT_EQ(result.files.at("logs/new.txt"), missingWxReport(result.dir, result.files.at("logs/new.txt")));
}

TEST(DiagnosticsEndToEnd, Fort0ThatCannotBeOpenedLosesTheReportsOnly) {
  t::RunRequest request = missingWxRun();
  request.env["FORT0"] = "adir";
  request.prepare = [](const std::string& dir) { std::filesystem::create_directory(dir + "/adir"); };
  const t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 29);
  EXPECT_NE(result.out.find("File Name of the WX stereo   file = missing.wav"), std::string::npos);
}

TEST(DiagnosticsEndToEnd, Fort0ReceivesTheControlEventReport) {
  t::RunRequest request;
  request.env["FORT0"] = "diag.txt";
  t::RunningProgram program(request);
  ASSERT_TRUE(program.waitForOutput(wxPrompt));
  program.sendSignal(SIGINT);
  const t::RunResult result = program.finish();
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files.at("diag.txt"),
            "forrtl: error (200): program aborting due to control-C event\r\r\n");
}

TEST(DiagnosticsEndToEnd, FailedCloseAtExitIsReportedAndEndsTheClosingWithItsCode) {
  t::WavSpec yz = t::stereo16(16, 2);
  yz.sampleRate = 48000;
  t::RunRequest request;
  request.program = t::faultyProgramPath();
  request.args = {"wx.wav", "yz.wav", "out.wav"};
  request.files["wx.wav"] = t::buildWav(t::stereo16(16, 1));
  request.files["yz.wav"] = t::buildWav(yz);
  request.env["QUADREL_TEST_FAULTS"] = "close:1:5";
  const t::RunResult result = t::runProgram(request);
  EXPECT_NE(result.out.find("ERROR - Fsampling mismatch"), std::string::npos);
  EXPECT_EQ(result.err, "forrtl: Input/output error\r\r\nforrtl: severe (28): CLOSE error, unit 1, file " +
                            result.dir + "/wx.wav\r\r\n");
  EXPECT_EQ(result.exitStatus, 28);
}

}  // namespace
}  // namespace quadrel
