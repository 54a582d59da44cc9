// Whole runs of the program: failure reports, control events, processor
// exceptions and the error-output redirection, compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "services/diagnostics/catalogue.h"
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
  return t::unitFailureReport(err, "No such file or directory", 29, "file not found", 1,
                              dir + "/missing.wav");
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

// The flag's value rule has its own table; here only that the flag is
// consulted, under any case of its name.
TEST(DiagnosticsEndToEnd, IgnoreExceptionsFlagLetsTheSignalEndTheRunSilently) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << exceptionsUnderWine;
  struct Case {
    const char* name;
    const char* value;
    bool ignored;
  };
  for (const Case& c :
       {Case{"FOR_IGNORE_EXCEPTIONS", "Y", true}, Case{"for_ignore_exceptions", "0", false}}) {
    SCOPED_TRACE(c.value);
    const t::RunResult result = signalAtPrompt(SIGSEGV, {{c.name, c.value}});
    const std::string tail = c.ignored ? "" : "forrtl: severe: Program Exception - access violation\r\n";
    EXPECT_EQ(result.out.substr(result.out.size() - wxPrompt.size() - tail.size()),
              std::string(wxPrompt) + tail);
    EXPECT_EQ(result.termSignal, c.ignored ? SIGSEGV : 0);
    EXPECT_EQ(result.exitStatus, c.ignored ? -1 : 0);
    EXPECT_EQ(result.err, "");
  }
}

// FORT0, named in any case, receives the reports: appended to an existing
// file, in a new file, or lost when the name cannot be opened.
TEST(DiagnosticsEndToEnd, Fort0ReceivesTheReportsInsteadOfStandardError) {
  struct Case {
    std::string name, value;
    std::string file;  // what receives the reports, relative to the run's folder
    std::string before;
  };
  const Case cases[] = {
      {"FORT0", "diag.txt", "diag.txt", "earlier run\r\n"},
      {"Fort0", "{dir}/logs/new.txt", "logs/new.txt", ""},
      {"FORT0", "adir", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    t::RunRequest request = missingWxRun();
    request.env[c.name] = c.value;
    if (!c.before.empty()) request.files[c.file] = c.before;
    request.prepare = [](const std::string& dir) {
      std::filesystem::create_directory(dir + "/logs");
      std::filesystem::create_directory(dir + "/adir");
    };
    const t::RunResult result = t::runProgram(request);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 29);
    EXPECT_NE(result.out.find("File Name of the WX stereo   file = missing.wav"), std::string::npos);
    if (c.file.empty()) {
      EXPECT_EQ(result.files.size(), 1u) << "nothing but yz.wav";
      continue;
    }
    ASSERT_EQ(result.files.count(c.file), 1u);
    const std::string& diagnostics = result.files.at(c.file);
    EXPECT_EQ(diagnostics, c.before + missingWxReport(result.dir, diagnostics.substr(c.before.size())));
  }
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
  if (t::programRunsUnderWine()) GTEST_SKIP() << t::faultLayerUnderWine;
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
  EXPECT_EQ(result.err, t::unitFailureReport(result.err, "Input/output error", 28, "CLOSE error", 1,
                                             result.dir + "/wx.wav"));
  EXPECT_EQ(result.exitStatus, 28);
}

// The lines of a rendered manual page's section, up to the next heading.
std::vector<std::string> sectionLines(const std::string& page, std::string_view heading) {
  std::vector<std::string> lines;
  std::istringstream stream(page);
  bool inside = false;
  for (std::string line; std::getline(stream, line);) {
    const bool isHeading = !line.empty() && line.front() != ' ';
    if (isHeading) inside = line == heading;
    if (inside && !isHeading)
      lines.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
  }
  return lines;
}

// The section's line that begins with `status` as its tag, or nothing.
std::string statusLine(const std::vector<std::string>& lines, int status) {
  const std::string tag = std::to_string(status) + ' ';
  for (const std::string& line : lines) {
    if (line.starts_with(tag)) return line;
  }
  return {};
}

// True when `word` stands in `text` with no letter, digit or "_" beside it.
bool containsWord(std::string_view text, std::string_view word) {
  const auto partOfName = [&](std::size_t at) {
    return at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_');
  };
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    if ((at == 0 || !partOfName(at - 1)) && !partOfName(at + word.size())) return true;
  }
  return false;
}

// The manual page renders without a warning, gives every exit status the
// program ends with (a failure's with the catalogue's own text) and every
// environment variable it reads.
TEST(DiagnosticsEndToEnd, ManualPageRendersAndListsEveryStatusAndVariable) {
  if (t::programRunsUnderWine())
    GTEST_SKIP() << "the manual page is the same for both programs: the Linux suite checks it";
  t::RunRequest request;
  request.program = "/bin/sh";
  // Lines as long as a paragraph, so that a status and its text share one line.
  request.args = {"-c", "groff -man -ww -z \"$0\" && groff -man -ww -Tascii -P-cbou -rLL=5000n \"$0\"",
                  QUADREL_SOURCE_DIR "/doc/quadrel.1"};
  const t::RunResult result = t::runProgram(request);
  ASSERT_EQ(result.exitStatus, 0) << "groff (Debian package groff-base) failed or is missing: " << result.err;
  EXPECT_EQ(result.err, "") << "groff warnings";

  const std::vector<std::string> statuses = sectionLines(result.out, "EXIT STATUS");
  for (int status : {0, 1, 2, 6, 201, 255}) {
    EXPECT_NE(statusLine(statuses, status), "") << "exit status " << status;
  }
  // Every severe entry that a unit operation raises; the catalogue holds a
  // few more that this program never raises.
  const StatusCode failures[] = {
      status::permissionDenied,     status::rewindError,      status::inputRecordTooLong,
      status::endOfFileDuringRead,  status::closeError,       status::fileNotFound,
      status::openFailure,          status::errorDuringWrite, status::errorDuringRead,
      status::insufficientMemory,   status::noSuchDevice,     status::fileNameError,
      status::inconsistentOpenClose};
  for (StatusCode code : failures) {
    const std::string_view entry = messageTemplate(code);
    const std::string text(entry.substr(0, std::min(entry.find(", unit"), entry.find('\r'))));
    EXPECT_NE(statusLine(statuses, code.value & 0xFF).find(text), std::string::npos) << text;
  }

  std::string environment;
  for (const std::string& line : sectionLines(result.out, "ENVIRONMENT"))
    environment += line + '\n';
  for (const char* name : {"FORT0", "FORT5", "FORT6", "FORT_CONVERT1", "FORT_CONVERT2", "FORT_CONVERT9",
                           "FOR_IGNORE_EXCEPTIONS", "FOR_RUN_FLAWED_PENTIUM", "FOR_NOERROR_DIALOGS"}) {
    EXPECT_TRUE(containsWord(environment, name)) << name;
  }
}

}  // namespace
}  // namespace quadrel
