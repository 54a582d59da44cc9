// Whole runs through the console units: names typed on standard input or
// read from FORT5, records written to standard output or to FORT6, and the
// reports of end of input and read failures.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/expected_records.h"
#include "tests/support/program_run.h"
#include "tests/support/program_under_wine.h"
#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

constexpr std::string_view endOfInputReport =
    "forrtl: severe (24): end-of-file during read, unit 5, file CONIN$\r\r\n";

struct Pair {
  std::string wx = buildWav(stereo16(64, 11));
  std::string yz = buildWav(stereo16(64, 12));
};

// A dialogue run on a compatible pair stored as `wxName` and "yz.wav".
RunRequest dialogueRequest(const Pair& pair, std::string stdinBytes, const std::string& wxName = "wx.wav") {
  RunRequest request;
  request.files = {{wxName, pair.wx}, {"yz.wav", pair.yz}};
  request.stdinKind = StdinKind::file;
  request.stdinBytes = std::move(stdinBytes);
  return request;
}

std::string dialogueOutput() {
  return bannerRecords() + promptRecords() + summaryRecords(1, 64, 2, 44100, 16) +
         summaryRecords(2, 64, 2, 44100, 16) + closingRecords(44100);
}

void expectConverted(const RunResult& result, const Pair& pair) {
  EXPECT_EQ(result.out, dialogueOutput());
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files.count("out.wav"), 1u);
  EXPECT_TRUE(result.files.count("out.wav") &&
              result.files.at("out.wav") == expectedConversion(pair.wx, pair.yz));
}

// The line rules have their own table; here the WX name is taken from lines
// that only work when the program applies them: CR LF as a line end, the
// first 40 bytes kept (leading blanks included, which the unit then drops),
// a whole line of three names forming the WX name.
TEST(ConsoleEndToEnd, TypedLineBecomesTheNameByTheConsoleRules) {
  const Pair pair;
  const std::string name37(37, 'n');
  struct Case {
    std::string input;
    std::string wxFile;
  };
  const Case cases[] = {
      {"   " + name37 + "0123456789\r\nyz.wav\r\nout.wav\r\n", name37},
      {"wx.wav yz.wav out.wav\nyz.wav\nout.wav\n", "wx.wav yz.wav out.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wxFile);
    expectConverted(runProgram(dialogueRequest(pair, c.input, c.wxFile)), pair);
  }
}

TEST(ConsoleEndToEnd, EndOfInputAtAReadEndsTheRunWithEntry24) {
  const Pair pair;
  const std::string prompts = promptRecords();
  const std::string twoPrompts = prompts.substr(0, 2 * 40);
  struct Case {
    const char* what;
    std::string input;
    std::string promptsShown;
  };
  const Case cases[] = {
      {"two lines", "wx.wav\nyz.wav\n", prompts},
      {"third line without LF", "wx.wav\nyz.wav\nout.wav", prompts},
      {"0x1A alone", "wx.wav\n\x1A\r\nout.wav\n", twoPrompts},
      {"nothing", "", prompts.substr(0, 40)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult result = runProgram(dialogueRequest(pair, c.input));
    EXPECT_EQ(result.out, bannerRecords() + c.promptsShown);
    EXPECT_EQ(result.err, endOfInputReport);
    EXPECT_EQ(result.exitStatus, 24);  // low byte of 0xC0000018
    EXPECT_EQ(result.files.count("out.wav"), 0u);
  }
}

TEST(ConsoleEndToEnd, PipeWhoseWriterHasGoneIsAReadError) {
  const Pair pair;
  RunRequest request = dialogueRequest(pair, "wx.wav\nyz.wav\n");
  request.stdinKind = StdinKind::pipe;
  const RunResult result = runProgram(request);
  EXPECT_EQ(result.out, bannerRecords() + promptRecords());
  EXPECT_EQ(result.err, unitFailureReport(result.err, "Broken pipe", 39, "error during read", 5, "CONIN$"));
  EXPECT_EQ(result.exitStatus, 39);
}

// A slow writer hands a line over in pieces; none of them is taken for the
// end of a line that is too long.
TEST(ConsoleEndToEnd, LineArrivingInPiecesThroughAPipeIsWhole) {
  const Pair pair;
  RunRequest request = dialogueRequest(pair, "");
  request.stdinKind = StdinKind::pipe;
  RunningProgram program(request);
  ASSERT_TRUE(program.waitForOutput("Name of the WX stereo .WAV      file = "));
  for (const char* piece : {"w", "x.", "wa", "v\n"}) {
    program.writeStdin(piece);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  program.writeStdin("yz.wav\nout.wav\n");
  program.closeStdin();
  expectConverted(program.finish(), pair);
}

TEST(ConsoleEndToEnd, EndOfFileTypedAtATerminalIsEndOfInput) {
  if (programRunsUnderWine()) {
    GTEST_SKIP() << "Wine puts a console of its own between a terminal and the program: the terminal "
                    "shows that console's rendering, and Ctrl-D is no end of input there";
  }
  RunRequest request;
  request.stdinKind = StdinKind::terminal;
  RunningProgram program(request);
  ASSERT_TRUE(program.waitForOutput("Name of the WX stereo .WAV      file = "));
  program.writeStdin("\x04");
  const RunResult result = program.finish();
  EXPECT_EQ(result.err, endOfInputReport);
  EXPECT_EQ(result.exitStatus, 24);
}

TEST(ConsoleEndToEnd, Fort5NamesTheFileReadInsteadOfStandardInput) {
  const Pair pair;
  RunRequest request = dialogueRequest(pair, "not.wav\nread.wav\nat-all.wav\n");
  request.files["names.txt"] = "wx.wav\r\nyz.wav\r\nout.wav\r\n";
  request.env["fort5"] = "  names.txt ";
  expectConverted(runProgram(request), pair);

  request.files["names.txt"] = "wx.wav\n";
  RunResult result = runProgram(request);
  EXPECT_EQ(result.err, "forrtl: severe (24): end-of-file during read, unit 5, file names.txt\r\r\n");

  request.files.erase("names.txt");
  result = runProgram(request);
  EXPECT_EQ(result.out, bannerRecords() + promptRecords().substr(0, 40));
  EXPECT_EQ(result.err,
            unitFailureReport(result.err, "No such file or directory", 29, "file not found", 5, "names.txt"));
  EXPECT_EQ(result.exitStatus, 29);
}

TEST(ConsoleEndToEnd, Fort6FileReceivesTheRecordsAndIsReplacedOrReported) {
  const Pair pair;
  RunRequest request = dialogueRequest(pair, "wx.wav\nyz.wav\nout.wav\n");
  request.files["console.txt"] = std::string(5000, 'o');
  request.env["FORT6"] = "console.txt";
  const RunResult result = runProgram(request);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files.at("console.txt"), dialogueOutput());

  // Unit 6 is "CONOUT$" in every report, whatever file FORT6 names.
  request.env["FORT6"] = "no-such-folder/console.txt";
  const RunResult refused = runProgram(request);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err,
            unitFailureReport(refused.err, "No such file or directory", 29, "file not found", 6, "CONOUT$"));
  EXPECT_EQ(refused.exitStatus, 29);

  if (programRunsUnderWine()) return;  // Windows has no /dev/full
  request.env["FORT6"] = "/dev/full";
  const RunResult failed = runProgram(request);
  EXPECT_EQ(failed.err,
            unitFailureReport(failed.err, "No space left on device", 38, "error during write", 6, "CONOUT$"));
  EXPECT_EQ(failed.exitStatus, 38);
}

}  // namespace
}  // namespace quadrel::harness
