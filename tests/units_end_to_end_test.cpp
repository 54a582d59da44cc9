// Binary units seen from outside: open failures and their reports, the
// sharing rules, inputs that end early, failed writes, byte order, device
// names, all compared byte for byte on stderr, exit status and files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "tests/support/program_run.h"
#include "tests/support/program_under_wine.h"
#include "tests/support/wav_builder.h"

namespace quadrel {
namespace {

namespace t = quadrel::harness;
namespace fs = std::filesystem;

// Big enough that both inputs take several fetches and the output is
// written in more than one gathered block.
constexpr std::int32_t manyFrames = 300000;

t::RunRequest pairRun(const std::string& wx, const std::string& yz, const std::string& output = "out.wav") {
  t::RunRequest request;
  request.args = {"wx.wav", "yz.wav", output};
  request.files = {{"wx.wav", wx}, {"yz.wav", yz}};
  return request;
}

std::string pairOf(std::int32_t frames, std::uint32_t seed) { return t::buildWav(t::stereo16(frames, seed)); }

// A folder is refused access; anything else that cannot be found is not found.
TEST(UnitsEndToEnd, OpenFailuresReportTheEntryAndTheFullPath) {
  struct Case {
    std::vector<std::string> args;
    std::string systemText;
    int unit;
    std::string file;  // after the run's folder
  };
  const std::string absent = "No such file or directory";
  const Case cases[] = {
      {{"missing.wav", "yz.wav", "o.wav"}, absent, 1, "/missing.wav"},
      {{"wx.wav", "sub/../nope.wav", "o.wav"}, absent, 2, "/nope.wav"},
      {{"wx.wav", "yz.wav", "no/o.wav"}, absent, 9, "/no/o.wav"},
      {{"wx.wav/x", "yz.wav", "o.wav"}, "Not a directory", 1, "/wx.wav/x"},
      {{"sub", "yz.wav", "o.wav"}, "Is a directory", 1, "/sub"},
      {{"wx.wav", "yz.wav", "sub"}, "Is a directory", 9, "/sub"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    t::RunRequest request = pairRun(pairOf(8, 1), pairOf(8, 2));
    request.args = c.args;
    request.files["sub/keep"] = "";
    t::RunResult result = t::runProgram(request);
    const bool folder = c.systemText == "Is a directory";
    const int number = folder ? 9 : 29;
    EXPECT_EQ(result.err, t::unitFailureReport(result.err, c.systemText, number,
                                               folder ? "permission to access file denied" : "file not found",
                                               c.unit, result.dir + c.file));
    EXPECT_EQ(result.exitStatus, number);
    EXPECT_EQ(result.files.count("o.wav"), 0u);
  }
}

TEST(UnitsEndToEnd, EmptyOutputNameFailsWithAnEmptyFileName) {
  t::RunRequest request = pairRun(pairOf(8, 1), pairOf(8, 2));
  request.args = {};
  request.stdinBytes = "  wx.wav\nyz.wav\n\n";
  t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err,
            t::unitFailureReport(result.err, "No such file or directory", 29, "file not found", 9, ""));
  EXPECT_EQ(result.exitStatus, 29);
  EXPECT_EQ(result.files.size(), 2u);
}

// A file that cannot be asked what it is after its open (size:n, the nth
// open) is refused too: taken for a device, an existing output would be
// neither cut nor protected.
TEST(UnitsEndToEnd, RefusedOpensAreSortedIntoTheirEntries) {
  struct Case {
    // The opens are unit 1, unit 2, unit 9 in turn; the size of unit 1 is
    // asked again, for the length its RIFF size must match.
    const char* fault;
    std::string systemText;
    int number;
    std::string text;
    int unit;
  };
  const Case cases[] = {
      {"open:1:13", "Permission denied", 9, "permission to access file denied", 1},
      {"open:3:30", "Read-only file system", 9, "permission to access file denied", 9},
      {"open:2:6", "No such device or address", 42, "no such device", 2},
      {"open:3:36", "File name too long", 43, "file name specification error", 9},
      {"open:3:24", "Too many open files", 30, "open failure", 9},
      {"size:1:5", "Input/output error", 30, "open failure", 1},
      {"size:4:5", "Input/output error", 30, "open failure", 9},
  };
  const std::string previous = std::string(3000000, 'p');
  // The faulty program is the Linux one: see t::faultLayerUnderWine.
  for (const Case& c : t::programRunsUnderWine() ? std::span<const Case>() : std::span(cases)) {
    SCOPED_TRACE(c.fault);
    t::RunRequest request = pairRun(pairOf(150000, 1), pairOf(150000, 2));
    request.program = t::faultyProgramPath();
    request.env["QUADREL_TEST_FAULTS"] = c.fault;
    request.files["out.wav"] = previous;
    t::RunResult result = t::runProgram(request);
    const std::string file = c.unit == 1 ? "/wx.wav" : c.unit == 2 ? "/yz.wav" : "/out.wav";
    EXPECT_EQ(result.err,
              t::unitFailureReport(result.err, c.systemText, c.number, c.text, c.unit, result.dir + file));
    EXPECT_EQ(result.exitStatus, c.number);
    EXPECT_TRUE(result.files["out.wav"] == previous) << "the existing output was changed";
  }

  // Where permissions bind the user, a read-only output is refused too.
  t::RunRequest request = pairRun(pairOf(8, 1), pairOf(8, 2));
  request.files["out.wav"] = "old";
  bool writable = false;
  request.prepare = [&writable](const std::string& dir) {
    fs::permissions(dir + "/out.wav", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    writable = std::ofstream(dir + "/out.wav", std::ios::app).is_open();
  };
  t::RunResult result = t::runProgram(request);
  if (!writable) {
    EXPECT_EQ(result.err,
              t::unitFailureReport(result.err, "Permission denied", 9, "permission to access file denied", 9,
                                   result.dir + "/out.wav"));
    EXPECT_EQ(result.files["out.wav"], "old");
  }
}

TEST(UnitsEndToEnd, OutputThatIsAnOpenInputIsRefusedAndTheInputStaysUnchanged) {
  const std::string wx = pairOf(1000, 1);
  for (const char* output : {"wx.wav", "./sub/../wx.wav", "link.wav"}) {
    SCOPED_TRACE(output);
    t::RunRequest request = pairRun(wx, pairOf(1000, 2), output);
    request.files["sub/keep"] = "";
    request.prepare = [](const std::string& dir) {
      fs::create_hard_link(dir + "/wx.wav", dir + "/link.wav");
    };
    t::RunResult result = t::runProgram(request);
    const std::string shown = std::string(output) == "link.wav" ? "/link.wav" : "/wx.wav";
    EXPECT_EQ(result.err, t::unitFailureReport(result.err, "Device or resource busy", 30, "open failure", 9,
                                               result.dir + shown));
    EXPECT_EQ(result.exitStatus, 30);
    EXPECT_TRUE(result.files["wx.wav"] == wx);
  }
}

TEST(UnitsEndToEnd, InputThatAnotherProgramHoldsOpenForWritingIsRefused) {
  if (t::programRunsUnderWine()) {
    GTEST_SKIP() << "share modes bind Wine processes only: a Linux process writing a file does not "
                    "block Wine's read open";
  }
  t::RunRequest request = pairRun(pairOf(8, 1), pairOf(8, 2));
  std::unique_ptr<std::ofstream> writer;
  request.prepare = [&writer](const std::string& dir) {
    writer = std::make_unique<std::ofstream>(dir + "/yz.wav", std::ios::app | std::ios::binary);
  };
  t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, t::unitFailureReport(result.err, "Device or resource busy", 30, "open failure", 2,
                                             result.dir + "/yz.wav"));
  EXPECT_EQ(result.files.count("out.wav"), 0u);
}

// The expected output cut after `frames` whole frames.
std::string headerAndFrames(const std::string& wx, const std::string& yz, std::size_t frames) {
  return t::expectedConversion(wx, yz)->substr(0, 44 + 8 * frames);
}

TEST(UnitsEndToEnd, InputEndingInsideAFrameKeepsTheCompleteFramesBeforeIt) {
  const std::string wx = pairOf(manyFrames, 1);
  const std::string yz = pairOf(manyFrames, 2);
  struct Case {
    bool wxShort, yzShort;
    std::size_t frame;  // the frame the short inputs end in
    std::size_t into;   // bytes of it present
    int reported;       // WX is read before YZ within a frame
  };
  const Case cases[] = {
      {true, false, 0, 2, 1},      {true, false, 200001, 3, 1},
      {false, true, 200001, 1, 2}, {false, true, manyFrames - 1, 0, 2},
      {true, true, 123457, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("frame " + std::to_string(c.frame));
    const std::size_t kept = 44 + 4 * c.frame + c.into;
    t::RunResult result =
        t::runProgram(pairRun(c.wxShort ? wx.substr(0, kept) : wx, c.yzShort ? yz.substr(0, kept) : yz));
    const std::string name = c.reported == 1 ? "/wx.wav" : "/yz.wav";
    EXPECT_EQ(result.err, t::unitFailureReport(result.err, "", 24, "end-of-file during read", c.reported,
                                               result.dir + name));
    EXPECT_EQ(result.exitStatus, 24);
    EXPECT_TRUE(result.files["out.wav"] == headerAndFrames(wx, yz, c.frame));
    EXPECT_EQ(result.files["out.wav"].size(), 44 + 8 * c.frame);
  }
}

TEST(UnitsEndToEnd, ExistingLongerOutputHoldsExactlyTheNewResult) {
  const std::string wx = pairOf(manyFrames, 1);
  const std::string yz = pairOf(manyFrames, 2);
  t::RunRequest request = pairRun(wx, yz);
  request.files["out.wav"] = std::string(3 * wx.size(), 'x');
  t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(result.files["out.wav"] == *t::expectedConversion(wx, yz));
}

// Until the output is cut, a failed write leaves an existing output as it
// was; a failed cut leaves the one request written before it over the rest.
TEST(UnitsEndToEnd, FailuresBeforeTheCutLeaveTheOldOutputBehindTheWrittenBytes) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << t::faultLayerUnderWine;
  const std::string wx = pairOf(100, 1);
  const std::string yz = pairOf(100, 2);
  const std::string previous = "previous contents";
  t::RunRequest faulty = pairRun(wx, yz);
  faulty.program = t::faultyProgramPath();
  faulty.files["out.wav"] = previous;
  faulty.env["QUADREL_TEST_FAULTS"] = "cut:1:5";
  t::RunResult result = t::runProgram(faulty);
  EXPECT_EQ(result.err, t::unitFailureReport(result.err, "Input/output error", 38, "error during write", 9,
                                             result.dir + "/out.wav"));
  EXPECT_EQ(result.files["out.wav"], t::expectedConversion(wx, yz)->substr(0, 16) + previous.substr(16));

  // The console writes come first: fail each in turn up to the first write
  // of the output.
  for (int nth = 1; nth < 100; ++nth) {
    faulty.env["QUADREL_TEST_FAULTS"] = "write:" + std::to_string(nth) + ":28";
    result = t::runProgram(faulty);
    ASSERT_NE(result.exitStatus, 0) << "no write of the output failed";
    if (result.err.find("unit 9") == std::string::npos) continue;
    EXPECT_EQ(result.err, t::unitFailureReport(result.err, "No space left on device", 38,
                                               "error during write", 9, result.dir + "/out.wav"));
    EXPECT_EQ(result.files["out.wav"], previous);
    break;
  }
}

// A WX file with megabytes after its data: the tail is copied inside the
// system, and where that copy fails or is refused (a copy across file
// systems, a failing disk) the rest goes through the buffers, which meet
// the same failure again if it lasts and report it as theirs.
TEST(UnitsEndToEnd, TailCopiedInsideTheSystemFallsBackToTheBuffers) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << t::faultLayerUnderWine;
  t::WavSpec recipe = t::stereo16(1000, 1);
  recipe.trailing = t::chunk("junk", t::samplePattern(3, 3 * 1024 * 1024));
  const std::string wx = t::buildWav(recipe);
  const std::string yz = pairOf(1000, 2);
  const std::string expected = *t::expectedConversion(wx, yz);
  struct Case {
    const char* fault;
    std::optional<rlim_t> sizeLimit;
  };
  const std::size_t limit = expected.size() - 1000;
  for (const Case& c : {Case{"", {}}, Case{"copy:1:18", {}}, Case{"copy:1:5", {}}, Case{"copy:2:5", {}},
                        Case{"copy:1:18", limit}, Case{"", limit}}) {
    SCOPED_TRACE(std::string(c.fault) + (c.sizeLimit ? " with a size limit" : ""));
    t::RunRequest request = pairRun(wx, yz);
    request.program = t::faultyProgramPath();
    request.env["QUADREL_TEST_FAULTS"] = c.fault;
    request.fileSizeLimit = c.sizeLimit;
    t::RunResult result = t::runProgram(request);
    if (!c.sizeLimit) {
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.exitStatus, 0);
      EXPECT_TRUE(result.files["out.wav"] == expected);
      continue;
    }
    EXPECT_EQ(result.err, t::unitFailureReport(result.err, "File too large", 38, "error during write", 9,
                                               result.dir + "/out.wav"));
    EXPECT_TRUE(result.files["out.wav"] == expected.substr(0, limit));
  }
}

// Each input is fetched once, whole; a third read would fail.
TEST(UnitsEndToEnd, TheEndTestMakesNoRead) {
  if (t::programRunsUnderWine()) GTEST_SKIP() << t::faultLayerUnderWine;
  t::WavSpec recipe = t::stereo16(100, 1);
  recipe.trailing = "tail";
  const std::string wx = t::buildWav(recipe);
  const std::string yz = pairOf(100, 2);
  t::RunRequest request = pairRun(wx, yz);
  request.program = t::faultyProgramPath();
  request.env["QUADREL_TEST_FAULTS"] = "read:3:5";
  t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files["out.wav"], t::expectedConversion(wx, yz));
}

// Reverses the bytes of [at, at + width) in `bytes`.
void reverse(std::string& bytes, std::size_t at, std::size_t width) {
  std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + width));
}

TEST(UnitsEndToEnd, BigEndianOutputReversesEveryNumberButNoCharacters) {
  struct Case {
    std::int16_t bits;
    std::vector<std::size_t> halfItems;  // widths of the items of one frame half
  };
  for (const Case& c : {Case{16, {4}}, Case{24, {2, 4}}}) {
    SCOPED_TRACE(c.bits);
    t::WavSpec recipe = t::stereo16(manyFrames, 1);
    recipe.bitsPerSample = c.bits;
    recipe.trailing = "LIST0123";
    const std::string wx = t::buildWav(recipe);
    recipe.seed = 2;
    recipe.trailing.clear();
    const std::string yz = t::buildWav(recipe);
    t::RunRequest request = pairRun(wx, yz);
    request.env["fort_convert9"] = "big_endian";
    t::RunResult result = t::runProgram(request);
    EXPECT_EQ(result.exitStatus, 0);

    std::string expected = *t::expectedConversion(wx, yz);
    for (std::size_t at : {4, 16, 24, 28, 40})
      reverse(expected, at, 4);
    for (std::size_t at : {20, 22, 32, 34})
      reverse(expected, at, 2);
    std::size_t at = 44;
    for (std::int32_t half = 0; half < 2 * manyFrames; ++half) {
      for (std::size_t width : c.halfItems) {
        reverse(expected, at, width);
        at += width;
      }
    }
    EXPECT_EQ(expected.substr(expected.size() - 8), "LIST0123");
    // The RIFF id says that the numbers are big-endian.
    EXPECT_TRUE(result.files["out.wav"] == "RIFX" + expected.substr(4));
  }
  // RIFX inputs read with their byte order set: a RIFF output of
  // little-endian numbers.
  const std::string wx = pairOf(100, 1), yz = pairOf(100, 2);
  std::string wxBig = wx, yzBig = yz;
  for (std::string* file : {&wxBig, &yzBig}) {
    file->replace(0, 4, "RIFX");
    for (std::size_t at : {4, 16, 24, 28, 40})
      reverse(*file, at, 4);
    for (std::size_t at : {20, 22, 32, 34})
      reverse(*file, at, 2);
    for (std::size_t at = 44; at < file->size(); at += 4)
      reverse(*file, at, 4);
  }
  t::RunRequest request = pairRun(wxBig, yzBig);
  request.env["FORT_CONVERT1"] = request.env["FORT_CONVERT2"] = "BIG_ENDIAN";
  EXPECT_TRUE(t::runProgram(request).files["out.wav"] == t::expectedConversion(wx, yz));
  // Without the settings they are read big-endian, which AmbiX does not take.
  t::RunRequest ambix = pairRun(wxBig, yzBig);
  ambix.args.insert(ambix.args.begin(), "--ambix");
  const t::RunResult refused = t::runProgram(ambix);
  EXPECT_TRUE(refused.out.ends_with(" ERROR - Unsupported sample format\r\n") &&
              !refused.files.count("out.wav"));
}

std::string floatBytes(std::initializer_list<std::uint32_t> patterns) {
  std::string bytes;
  for (std::uint32_t bits : patterns) {
    for (int i = 0; i < 4; ++i)
      bytes += static_cast<char>(bits >> (8 * i));
  }
  return bytes;
}

TEST(UnitsEndToEnd, VaxRealsAreConvertedAndAnUnrepresentableOneIsReportedAndPassedOver) {
  t::WavSpec recipe;
  recipe.bitsPerSample = 32;
  recipe.formatTag = 3;
  // 1.0, -118.625 | +infinity, 0.15625
  recipe.sampleBytes = floatBytes({0x3F800000, 0xC2ED4000, 0x7F800000, 0x3E200000});
  const std::string wx = t::buildWav(recipe);
  recipe.sampleBytes = floatBytes({0x3F800000, 0x3F800000, 0x3F800000, 0x3F800000});
  const std::string yz = t::buildWav(recipe);
  t::RunRequest request = pairRun(wx, yz);
  request.env["FORT_CONVERT9"] = "VAXD";
  t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, "forrtl: info (95): floating point conversion failed\r\r\n");
  EXPECT_EQ(result.exitStatus, 0);
  const std::string one("\x80\x40\x00\x00", 4);
  const std::string frames = one + std::string("\xED\xC3\x00\x40", 4) + one + one +
                             std::string("\xFF\x7F\xFF\xFF", 4) + std::string("\x20\x3F\x00\x00", 4) + one +
                             one;
  EXPECT_EQ(result.files["out.wav"].substr(44), frames);
  EXPECT_EQ(result.files["out.wav"].substr(0, 44), t::expectedConversion(wx, yz)->substr(0, 44));
}

TEST(UnitsEndToEnd, UnknownByteOrderFailsTheOpenAfterTheFileWasOpened) {
  t::RunRequest request = pairRun(pairOf(8, 1), pairOf(8, 2));
  request.env["FORT_CONVERT1"] = "WRONG";
  t::RunResult result = t::runProgram(request);
  EXPECT_EQ(result.err, t::unitFailureReport(result.err, "", 46, "inconsistent OPEN/CLOSE parameters", 1,
                                             result.dir + "/wx.wav"));
  EXPECT_EQ(result.exitStatus, 46);

  request.env = {{"FORT_CONVERT9", "WRONG"}};
  result = t::runProgram(request);
  EXPECT_EQ(result.err, t::unitFailureReport(result.err, "", 46, "inconsistent OPEN/CLOSE parameters", 9,
                                             result.dir + "/out.wav"));
  EXPECT_EQ(result.files.count("out.wav"), 1u);
  EXPECT_EQ(result.files["out.wav"], "");
}

TEST(UnitsEndToEnd, DeviceNamesForTheOutput) {
  const std::string wx = pairOf(100, 1);
  const std::string yz = pairOf(100, 2);
  const std::string expected = *t::expectedConversion(wx, yz);
  for (const char* name : {"NUL", "nul.wav"}) {
    t::RunResult result = t::runProgram(pairRun(wx, yz, name));
    EXPECT_EQ(result.exitStatus, 0) << name;
    EXPECT_EQ(result.files.size(), 2u) << name;
  }
  // On Windows "aux.wav" names the serial port COM1 (and Wine a serial
  // device of the machine): only the Linux program writes it as a file.
  t::RunResult result;
  if (!t::programRunsUnderWine()) {
    result = t::runProgram(pairRun(wx, yz, "aux.wav"));
    EXPECT_EQ(result.files["aux.wav"], expected);
  }

  // Standard output, a pipe here: header and frames among the records.
  result = t::runProgram(pairRun(wx, yz, "CON"));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find(expected.substr(0, 16)), std::string::npos);
  EXPECT_NE(result.out.find(expected.substr(44)), std::string::npos);
}

}  // namespace
}  // namespace quadrel
