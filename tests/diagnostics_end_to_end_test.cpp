// Whole runs of the program: failure reports, control events, processor
// exceptions and the error-output redirection, compared byte for byte.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/program_run.h"
#include "tests/support/wav_builder.h"

namespace quadrel {
namespace {

namespace t = quadrel::harness;

constexpr std::string_view wxPrompt = "Name of the WX stereo .WAV      file = ";

std::string missingWxReport(const std::string& dir) {
  return "forrtl: No such file or directory\r\r\n"
         "forrtl: severe (29): file not found, unit 1, file " +
         dir + "/missing.wav\r\r\n";
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
  EXPECT_EQ(result.err, missingWxReport(result.dir));
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
    const t::RunResult result = signalAtPrompt(c.signal);
    EXPECT_EQ(result.err,
              "forrtl: error (200): program aborting due to " + std::string(c.name) + " event\r\r\n");
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.exitStatus, c.status);
    // Nothing is added to standard output: the prompt stays as it was.
    EXPECT_EQ(result.out.substr(result.out.size() - wxPrompt.size()), wxPrompt);
  }
}

TEST(DiagnosticsEndToEnd, ProcessorExceptionSignalPrintsItsTextOnStandardOutputAndExitsZero) {
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
  for (const char* value : {"true", "1", "Y"}) {
    SCOPED_TRACE(value);
    const t::RunResult result = signalAtPrompt(SIGSEGV, {{"FOR_IGNORE_EXCEPTIONS", value}});
    EXPECT_EQ(result.termSignal, SIGSEGV);
    EXPECT_EQ(result.out.substr(result.out.size() - wxPrompt.size()), wxPrompt);
    EXPECT_EQ(result.err, "");
  }
}

TEST(DiagnosticsEndToEnd, IgnoreExceptionsSetToZeroCountsAsNotSet) {
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
  EXPECT_EQ(result.files.at("diag.txt"), "earlier run\r\n" + missingWxReport(result.dir));
}

TEST(DiagnosticsEndToEnd, Fort0FileIsCreatedWhenAbsentAndNamedInAnyCase) {
  t::RunRequest request = missingWxRun();
  request.env["Fort0"] = "{dir}/logs/new.txt";
  request.prepare = [](const std::string& dir) { std::filesystem::create_directory(dir + "/logs"); };
  const t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 29);
  ASSERT_EQ(result.files.count("logs/new.txt"), 1u);
  EXPECT_EQ(result.files.at("logs/new.txt"), missingWxReport(result.dir));
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

}  // namespace
}  // namespace quadrel
