// Whole conversions run as a user runs them: console bytes, exit status,
// and the output file compared byte for byte with the expected result.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/bformat_scene.h"
#include "tests/support/expected_records.h"
#include "tests/support/program_run.h"
#include "tests/support/program_under_wine.h"
#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

const std::vector<std::string> threeNames = {"wx.wav", "yz.wav", "out.wav"};

RunRequest conversionRequest(const std::string& wx, const std::string& yz) {
  RunRequest request;
  request.args = threeNames;
  request.files = {{"wx.wav", wx}, {"yz.wav", yz}};
  return request;
}

// The summaries, rate line and closing records of a successful run.
std::string reportRecords(const std::string& wx, const std::string& yz) {
  WavHeaderFields w = *readWavHeader(wx);
  WavHeaderFields y = *readWavHeader(yz);
  return summaryRecords(1, w.dataLength / w.blockAlign, w.channels, w.sampleRate, w.bitsPerSample) +
         summaryRecords(2, w.dataLength / y.blockAlign, w.channels, w.sampleRate, w.bitsPerSample) +
         closingRecords(w.sampleRate);
}

// Checks a successful command-line run on the files of `request`.
void expectConverted(const RunResult& result, const std::string& wx, const std::string& yz) {
  EXPECT_EQ(result.out, bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav") + reportRecords(wx, yz));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  std::optional<std::string> expected = expectedConversion(wx, yz);
  ASSERT_TRUE(expected.has_value());
  ASSERT_EQ(result.files.count("out.wav"), 1u);
  const std::string& out = result.files.at("out.wav");
  EXPECT_EQ(readWavHeader(out), readWavHeader(*expected));
  EXPECT_EQ(out.size(), expected->size());
  EXPECT_TRUE(out == *expected) << "the output differs from the expected bytes";
}

// Any names after the first three are ignored; the inputs stay unchanged.
TEST(Conversion, CommandLineFormConvertsSixteenBitStereoPair) {
  std::string wx = buildWav(stereo16(1000, 1));
  std::string yz = buildWav(stereo16(1000, 2));
  for (const char* extra : {"", "extra.wav"}) {
    RunRequest request = conversionRequest(wx, yz);
    if (*extra != '\0') request.args.insert(request.args.end(), {extra, "more.wav"});
    RunResult result = runProgram(request);
    expectConverted(result, wx, yz);
    EXPECT_EQ(result.files.size(), 3u);
    EXPECT_EQ(result.files["wx.wav"], wx);
    EXPECT_EQ(result.files["yz.wav"], yz);
  }
}

// Names from stdin, whether it is a file or a pipe, and whatever one or two
// names the command line carries after its options.
TEST(Conversion, DialogueFormTakesTheNamesFromStdin) {
  std::string wx = buildWav(stereo16(1000, 3));
  std::string yz = buildWav(stereo16(1000, 4));
  // clang-format off
  const std::vector<std::vector<std::string>> commandLines = {
      {}, {"ignored.wav"}, {"a.wav", "b.wav"}, {"-h", "b.wav"}, {"--ambix"}, {"--ambix", "a.wav", "b.wav"}};
  // clang-format on
  for (StdinKind kind : {StdinKind::file, StdinKind::pipe}) {
    for (const std::vector<std::string>& args : commandLines) {
      SCOPED_TRACE(args.size());
      const bool ambix = !args.empty() && args[0] == "--ambix";
      RunRequest request = conversionRequest(wx, yz);
      request.args = args;
      request.stdinKind = kind;
      request.stdinBytes = "wx.wav\nyz.wav\nout.wav\n";
      RunResult result = runProgram(request);
      EXPECT_EQ(result.out, bannerRecords() + promptRecords() + reportRecords(wx, yz));
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.exitStatus, 0);
      EXPECT_EQ(result.files["out.wav"],
                ambix ? expectedChunkedConversion(wx, yz, {.ambix = true}) : expectedConversion(wx, yz));
      EXPECT_EQ(result.files.size(), 3u);
    }
  }
}

// "--help", "-h" and "--version" alone answer on standard output, in
// console lines, and touch no file: the names waiting on stdin stay unread.
TEST(Conversion, HelpAndVersionAloneAnswerWithoutConverting) {
  const std::string wx = buildWav(stereo16(10, 5));
  const std::string yz = buildWav(stereo16(10, 6));
  std::string help;
  for (const char* option : {"--help", "-h", "--version"}) {
    SCOPED_TRACE(option);
    RunRequest request = conversionRequest(wx, yz);
    request.args = {option};
    request.stdinBytes = "wx.wav\nyz.wav\nout.wav\n";
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.files.size(), 2u);
    if (std::string_view(option) == "--version") {
      EXPECT_EQ(result.out, "quadrel " QUADREL_VERSION "\r\n");
      continue;
    }
    if (help.empty()) help = result.out;
    EXPECT_EQ(result.out, help);
    EXPECT_TRUE(result.out.starts_with("Usage: quadrel WX.wav YZ.wav OUT.wav\r\n")) << result.out;
    EXPECT_NE(result.out.find("--version"), std::string::npos);
    std::size_t lineFeeds = 0;
    for (std::size_t at = result.out.find('\n'); at != std::string::npos;
         at = result.out.find('\n', at + 1)) {
      ++lineFeeds;
      EXPECT_TRUE(at > 0 && result.out[at - 1] == '\r') << "a line without CR at byte " << at;
    }
    EXPECT_GT(lineFeeds, 3u);
    EXPECT_TRUE(result.out.ends_with("\r\n"));
  }

  // An answer that cannot be written is a failure, not a success.
  RunRequest request;
  request.args = {"--help"};
  request.stdoutKind = OutputKind::devFull;
  const RunResult full = runProgram(request);
  EXPECT_EQ(full.err,
            unitFailureReport(full.err, "No space left on device", 38, "error during write", 6, "CONOUT$"));
  EXPECT_EQ(full.exitStatus, 38);

  // With three names a word of one dash is a file name like any other.
  request = conversionRequest(wx, yz);
  request.files = {{"-h", wx}, {"yz.wav", yz}};
  request.args = {"-h", "yz.wav", "out.wav"};
  RunResult named = runProgram(request);
  EXPECT_EQ(named.out, bannerRecords() + echoRecords("-h", "yz.wav", "out.wav") + reportRecords(wx, yz));
  EXPECT_EQ(named.exitStatus, 0);
  EXPECT_EQ(named.files["out.wav"], expectedConversion(wx, yz));
}

// A "--" word that is no option, or comes after the first name, or options
// that exclude each other: one line after the banner, status 0, no file
// opened, the names waiting on stdin unread.
TEST(Conversion, OptionsOutOfPlaceAreRefusedBeforeAnyFile) {
  struct Case {
    std::vector<std::string> args;
    const char* refusal;
  };
  // clang-format off
  const Case cases[] = {
      {{"wx.wav", "yz.wav", "out.wav", "--ambix"}, "ERROR - Options go before the names: --ambix"},
      {{"a.wav", "--ambix"}, "ERROR - Options go before the names: --ambix"},
      {{"--Help"}, "ERROR - Unknown option --Help"},
      {{"--AMBIX", "wx.wav", "yz.wav", "out.wav"}, "ERROR - Unknown option --AMBIX"},
      {{"--"}, "ERROR - Unknown option --"},
      {{"--align=noise", "wx.wav"}, "ERROR - Unknown option --align=noise"},
      {{"--align=sound", "--offset=3", "wx.wav"}, "ERROR - --align and --offset exclude each other"},
      {{"--" + std::string(40, 'x')}, "ERROR - Unknown option --xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx..."},
      {{"--help", "yz.wav", "out.wav"}, "ERROR - --help goes alone, without other words"},
      {{"--align", "--offset=3", "wx.wav", "yz.wav", "out.wav"}, "ERROR - --align and --offset exclude each other"},
      {{"--offset=1.5", "wx.wav"}, "ERROR - --offset takes a whole number of frames: --offset=1.5"},
      {{"--offset="}, "ERROR - --offset takes a whole number of frames: --offset="},
      {{"--offset=99999999999999999999"}, "ERROR - --offset takes a whole number of frames: --offset=99999999999999999999"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refusal);
    RunRequest request = conversionRequest(buildWav(stereo16(10, 1)), buildWav(stereo16(10, 2)));
    request.args = c.args;
    request.stdinBytes = "wx.wav\nyz.wav\nout.wav\n";
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.out, bannerRecords() + errorRecord(c.refusal));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.files.size(), 2u);
  }
}

TEST(Conversion, SameFileAsWxAndYzGivesEachFrameTwice) {
  std::string in = buildWav(stereo16(500, 7));
  RunRequest request;
  request.args = {"in.wav", "in.wav", "out.wav"};
  request.files = {{"in.wav", in}};
  RunResult result = runProgram(request);
  EXPECT_EQ(result.out, bannerRecords() + echoRecords("in.wav", "in.wav", "out.wav") + reportRecords(in, in));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files["out.wav"], expectedConversion(in, in));
}

TEST(Conversion, AbsolutePathsAreAccepted) {
  std::string wx = buildWav(stereo16(10, 10));
  std::string yz = buildWav(stereo16(10, 11));
  RunRequest request = conversionRequest(wx, yz);
  request.args = {"{dir}/wx.wav", "{dir}/yz.wav", "{dir}/out.wav"};
  request.workingDirectory = "elsewhere";
  RunResult result = runProgram(request);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.files["out.wav"], expectedConversion(wx, yz));
}

// Pairs that pass every check, each converted end to end.
struct PairCase {
  const char* name;
  WavSpec wx, yz;
};

void PrintTo(const PairCase& pair, std::ostream* out) { *out << pair.name; }

WavSpec withBits(std::int16_t bits, std::int32_t frames, std::uint32_t seed) {
  WavSpec recipe = stereo16(frames, seed);
  recipe.bitsPerSample = bits;
  return recipe;
}

WavSpec withData(WavSpec recipe, std::int32_t dataLength, std::size_t sampleBytes) {
  recipe.dataLength = dataLength;
  recipe.sampleBytes = samplePattern(recipe.seed, sampleBytes);
  return recipe;
}

std::vector<PairCase> pairCases() {
  std::vector<PairCase> cases;
  {
    WavSpec wx = withBits(24, 1000, 21), yz = withBits(24, 1000, 22);
    wx.sampleRate = yz.sampleRate = 48000;
    cases.push_back({"TwentyFourBit", wx, yz});
  }
  {
    WavSpec wx = withBits(32, 1000, 23), yz = withBits(32, 1000, 24);
    wx.formatTag = yz.formatTag = 3;
    cases.push_back({"FloatThirtyTwoBitBitForBit", wx, yz});
  }
  cases.push_back({"EightBitInterleavedAsTwoByteHalves", withBits(8, 1000, 25), withBits(8, 1000, 26)});
  {
    WavSpec wx = stereo16(1000, 27), yz = stereo16(1000, 28);
    wx.trailing = chunk("LIST", std::string("INFOISFT\x06\0\0\0quadr\0", 18));
    yz.trailing = chunk("junk", "never copied");
    cases.push_back({"TrailingWxChunkCopiedOnceYzTailIgnored", wx, yz});
  }
  cases.push_back({"DataLengthNotAMultipleOfBlockAlign", withData(stereo16(0, 29), 4003, 4003),
                   withData(stereo16(0, 30), 4003, 4003)});
  cases.push_back(
      {"DataShorterThanBlockAlign", withData(stereo16(0, 31), 3, 3), withData(stereo16(0, 32), 3, 3)});
  {
    // The shared fields come from the YZ header, here one that is no RIFF
    // file and is read at the fixed positions.
    WavSpec wx = stereo16(1000, 35), yz = stereo16(1000, 36);
    yz.riffId = "RIFY";
    yz.riffSize = 12;
    yz.waveFmtId = "WAVEfmT ";
    yz.fmtLength = 18;
    yz.formatTag = 3;
    yz.dataId = "DATA";
    cases.push_back({"OutputTakesTheYzSharedFields", wx, yz});
  }
  {
    // The byte rate wraps at 32 bits. (A WX RIFF size that is not the
    // file's length gives the chunked output.)
    WavSpec wx = stereo16(10000, 37), yz = stereo16(10000, 38);
    wx.sampleRate = yz.sampleRate = 0x7FFFFFFF;
    wx.byteRate = yz.byteRate = 5;
    cases.push_back({"DerivedFieldsWrap", wx, yz});
  }
  return cases;
}

class ConvertedPair : public ::testing::TestWithParam<PairCase> {};

TEST_P(ConvertedPair, MatchesTheExpectedBytes) {
  std::string wx = buildWav(GetParam().wx);
  std::string yz = buildWav(GetParam().yz);
  expectConverted(runProgram(conversionRequest(wx, yz)), wx, yz);
}

INSTANTIATE_TEST_SUITE_P(Conversion, ConvertedPair, ::testing::ValuesIn(pairCases()),
                         [](const ::testing::TestParamInfo<PairCase>& info) { return info.param.name; });

// `cmake --install` into a fresh prefix: the installed program converts the
// example pair, and the manual page is installed beside it.
TEST(Conversion, InstalledProgramConvertsTheExamplePair) {
  if (programRunsUnderWine()) {
    GTEST_SKIP() << "the install puts the Linux program in place: the Linux suite runs this case";
  }
  const std::string wx = sourceFile("examples/wx.wav");
  const std::string yz = sourceFile("examples/yz.wav");
  RunRequest request;
  request.program = "/bin/sh";
  request.args = {"-c",
                  "\"$0\" --install \"$1\" --prefix \"$PWD/prefix\" >/dev/null && "
                  "prefix/bin/quadrel wx.wav yz.wav wxyz.wav",
                  QUADREL_CMAKE_COMMAND, QUADREL_BUILD_DIR};
  request.files = {{"wx.wav", wx}, {"yz.wav", yz}};
  RunResult result = runProgram(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out,
            bannerRecords() + echoRecords("wx.wav", "yz.wav", "wxyz.wav") + reportRecords(wx, yz));
  EXPECT_EQ(result.files["wxyz.wav"], expectedConversion(wx, yz));
  EXPECT_EQ(result.files.count("prefix/bin/quadrel"), 1u);
  EXPECT_EQ(result.files["prefix/share/man/man1/quadrel.1"], sourceFile("doc/quadrel.1"));
}

// An independent reader agrees with the header of the result.
TEST(Conversion, OutputHeaderReadsBackWithPythonWave) {
  std::string wx = buildWav(stereo16(1000, 40));
  std::string yz = buildWav(stereo16(1000, 41));
  RunResult converted = runProgram(conversionRequest(wx, yz));
  ASSERT_EQ(converted.exitStatus, 0);

  RunRequest check;
  check.program = "/usr/bin/env";
  check.args = {"python3", "-c",
                "import wave\n"
                "w = wave.open('out.wav', 'rb')\n"
                "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())\n"
                "open('frames', 'wb').write(w.readframes(2))\n"};
  check.files = {{"out.wav", converted.files["out.wav"]}};
  RunResult result = runProgram(check);
  if (result.exitStatus == 127) GTEST_SKIP() << "python3 is not installed";
  EXPECT_EQ(result.out, "4 2 44100 1000\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.files["frames"],
            wx.substr(44, 4) + yz.substr(44, 4) + wx.substr(48, 4) + yz.substr(48, 4));
}

// --ambix on each width it takes, extremes first: the frames W Y Z X, W
// times the square root of 2, as floats the tests compute on their own.
TEST(Conversion, AmbixConvertsEveryWidthExactly) {
  struct AmbixCase {
    const char* name;
    std::uint16_t tag, bits;
    bool extensible;
    bool farOut = false;  // 64-bit floats of every magnitude beyond 2^-900 and 2^900
  };
  const AmbixCase cases[] = {{"8-bit", 1, 8, false},
                             {"16-bit", 1, 16, false},
                             {"24-bit", 1, 24, true},
                             {"32-bit", 1, 32, true},
                             {"32-bit float", 3, 32, false},
                             {"64-bit float", 3, 64, false},
                             {"64-bit float far out", 3, 64, false, true}};
  for (const AmbixCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t size = c.bits / 8;
    auto file = [&](std::uint32_t seed) {
      const FormatSpec format{c.tag, 2, 44100, c.bits, std::nullopt, std::nullopt};
      // The largest, the smallest, zero and -1 (128, 0 and 255 unsigned).
      std::string samples = std::string(size - 1, '\xFF') + '\x7F' + std::string(size - 1, '\0') + '\x80' +
                            std::string(size, '\0') + std::string(size, '\xFF');
      if (c.tag == 3) samples.clear();
      samples += samplePattern(seed, 2 * size * (c.farOut ? 2048 : 64));
      // Floats below 2 in magnitude, never infinite or NaN; 64-bit ones
      // above 2^-16, as recordings hold.
      for (std::size_t top = size - 1; c.tag == 3 && !c.farOut && top < samples.size(); top += size) {
        const int sign = samples[top] & 0x80;
        samples[top] = static_cast<char>(size == 8 ? sign | 0x3F : samples[top] & ~0x40);
      }
      // Far out, by pairs: exponents around 2^1016, 2^900, 2^-900 and
      // 2^-1016, and subnormals.
      for (std::size_t top = 7; c.farOut && top < samples.size(); top += 8) {
        const char tops[] = {'\x7F', '\x78', '\x07', '\x01', '\x00', '\x00'};
        const std::size_t band = top / 16 % 6;
        samples[top] = static_cast<char>((samples[top] & 0x80) | tops[band]);
        if (band == 0) samples[top - 1] &= 0x7F;  // finite
        if (band == 5) samples[top - 1] &= 0x0F;  // subnormal
      }
      // W: the largest doubles whose product is finite and is not, the
      // largest double, the smallest normal, and the smallest and the
      // largest subnormal.
      const std::uint64_t edges[] = {0x7FE6A09E667F3BCC, 0x7FE6A09E667F3BCD, 0x7FEFFFFFFFFFFFFF,
                                     0x0010000000000000, 0x0000000000000001, 0x800FFFFFFFFFFFFF};
      for (std::size_t i = 0; c.farOut && i < std::size(edges); ++i)
        for (int byte = 0; byte < 8; ++byte)
          samples[16 * i + byte] = static_cast<char>(edges[i] >> (8 * byte));
      const std::string body = c.extensible ? extensibleBody(format, c.bits, c.tag) : formatBody(format);
      return waveFile("RIFF", {chunk("fmt ", body), chunk("data", samples), chunk("LIST", "INFO")});
    };
    const std::string wx = file(80 + c.bits), yz = file(90 + c.bits);
    RunRequest request = conversionRequest(wx, yz);
    request.args.insert(request.args.begin(), "--ambix");
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.exitStatus == 0 && result.out.ends_with("  Conversion terminated OK !!!!\r\n"));
    const std::string out = result.files.count("out.wav") ? result.files.at("out.wav") : "";
    EXPECT_TRUE(out == expectedChunkedConversion(wx, yz, {.ambix = true})) << "the output differs";
    if (c.bits != 24) continue;
    // A peer, where installed, reads it back: four channels of floats, every frame.
    RunRequest check;
    check.program = "/bin/sh";
    check.files = {{"out.wav", out}};
    check.args = {"-c",
                  "command -v ffprobe >/dev/null || exit 0; read=$(ffprobe -v error -show_entries "
                  "stream=sample_fmt,channels,duration_ts -of compact=p=0:nk=1 out.wav); "
                  "[ \"$read\" = 'flt|4|66' ] || echo \"$read\""};
    EXPECT_EQ(runProgram(check).out, "");
  }

  // An .amb name means the traditional order: refused before anything exists.
  RunRequest request = conversionRequest(buildWav(stereo16(10, 1)), buildWav(stereo16(10, 2)));
  request.args = {"--ambix", "wx.wav", "yz.wav", "out.amb"};
  const RunResult result = runProgram(request);
  EXPECT_EQ(result.out, bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.amb") +
                            errorRecord("ERROR - An AmbiX output cannot be named .amb"));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files.count("out.amb"), 0u);
}

// Two recorders, one take: the files placed by their timecode or by an
// offset, only the frames both cover written (24-bit, 48 kHz, W X Y Z or
// AmbiX), the report after the summaries, the output's bext moved to its
// first frame with one history line; or one line that refuses the pair.
TEST(Conversion, AlignedPairsKeepOnlyTheFramesBothCover) {
  RunRequest probe;
  probe.program = "/bin/sh";
  probe.args = {"-c", "command -v sndfile-info >/dev/null"};
  const bool peerReader = runProgram(probe).exitStatus == 0;
  constexpr std::uint64_t ten = 36000ull * 48000, day = 86400ull * 48000;
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::optional<std::uint64_t> wxTime, yzTime;  // bext TimeReferences; nothing: no bext
    std::int64_t wxFrames, yzFrames;
    const char* refusal;
    std::int64_t skipWx = 0, skipYz = 0, frames = 0;
    const char* starts = "";  // under timecode: the two lines' times of day
    const char* ms = "";
    std::uint64_t time = 0;  // the output's TimeReference
    int fifos = 0;           // inputs through FIFOs, of unknown length: 1 the YZ one, 2 both
  };
  // clang-format off
  const Case cases[] = {
      {"YzLater", {"--align"}, ten, ten + 150, 1000, 900, "", 150, 0, 850, "10:00:00.000 10:00:00.003", "3.125", ten + 150},
      {"WxLater", {"--align=timecode"}, ten + 100, ten, 800, 1000, "", 0, 100, 800, "10:00:00.002 10:00:00.000", "-2.083", ten + 100},
      {"OverMidnight", {"--align"}, day - 48, 52, 1000, 1000, "", 100, 0, 900, "23:59:59.999 00:00:00.001", "2.083", 52},
      {"PastTwoToThe32AmbiX", {"--ambix", "--align"}, 1ull << 33, (1ull << 33) + 10, 500, 500, "", 10, 0, 490, "01:42:36.970 01:42:36.970", "0.208", (1ull << 33) + 10},
      {"WxAfterMidnight", {"--align"}, 52, day - 48, 1000, 1000, "", 0, 100, 900, "00:00:00.001 23:59:59.999", "-2.083", 52},
      {"OneTimeReferenceZero", {"--align"}, 0, 1, 1000, 1000, "", 1, 0, 999, "00:00:00.000 00:00:00.000", "0.021", 1},
      {"EqualStartsOtherEnds", {"--align"}, ten, ten, 700, 1000, "", 0, 0, 700, "10:00:00.000 10:00:00.000", "0.000", ten},
      {"OffsetWithoutBext", {"--offset=+40"}, {}, {}, 1000, 1000, "", 40, 0, 960, "", "0.833"},
      {"OffsetBeforeOnTheYzBext", {"--offset=-40"}, {}, ten, 1000, 1000, "", 0, 40, 960, "", "-0.833", ten + 40},
      {"YzInsideWx", {"--offset=100"}, ten, 7, 1000, 500, "", 100, 0, 500, "", "2.083", ten + 100},
      {"FifosOfUnknownLength", {"--offset=-30"}, {}, {}, 1000, 800, "", 0, 30, 770, "", "-0.625", 0, 2},
      {"YzFifoEndsTheTake", {"--offset=-30"}, {}, {}, 1000, 800, "", 0, 30, 770, "", "-0.625", 0, 1},
      {"NoOverlap", {"--align"}, ten, ten + 2000, 1000, 1000, "ERROR - The two files do not overlap in time"},
      {"Touching", {"--align"}, ten, ten + 1000, 1000, 1000, "ERROR - The two files do not overlap in time"},
      {"TwelveHoursApartIsOneDay", {"--align"}, 1, day / 2 + 1, 10, 10, "ERROR - The two files do not overlap in time"},
      {"FurtherApartThanAnyFile", {"--align"}, 0, ~0ull, 10, 10, "ERROR - The two files do not overlap in time"},
      {"OffsetPastTheYzEnd", {"--offset=-50"}, {}, {}, 100, 50, "ERROR - The two files do not overlap in time"},
      {"YzFifoEndsBeforeTheSpan", {"--offset=-900"}, {}, {}, 1000, 800, "ERROR - The two files do not overlap in time", 0, 0, 0, "", "", 0, 2},
      {"NoWxBext", {"--align"}, {}, ten, 10, 10, "ERROR - WX has no bext TimeReference to align by; try --offset=N"},
      {"NoYzBext", {"--align"}, ten, {}, 10, 10, "ERROR - YZ has no bext TimeReference to align by; try --offset=N"},
      {"ZeroTimeReferences", {"--align"}, 0, 0, 10, 10, "ERROR - Both TimeReferences are 0, no timecode; try --offset=N"},
      {"LengthsDifferWithoutOptions", {}, ten, ten, 10, 9, "ERROR - Lenght mismatch"},
  };
  // clang-format on
  const std::string history = "A=PCM,F=48000,W=24,M=stereo\r\n";
  // The WX file's iXML, whose time references follow the output's.
  const std::string ixml = sourceFile("tests/fuzz/corpus/ixml/recorder_crlf").substr(9);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fifos && programRunsUnderWine()) continue;
    auto file = [&](std::optional<std::uint64_t> time, std::int64_t frames, std::uint32_t seed, bool stream) {
      const std::string samples = samplePattern(seed, static_cast<std::size_t>(frames) * 6);
      std::vector<std::string> chunks = {chunk("fmt ", formatBody({1, 2, 48000, 24, {}, {}}))};
      if (time) chunks.insert(chunks.begin(), chunk("bext", bextBody(*time, history)));
      if (seed == 61) chunks.insert(chunks.begin(), chunk("iXML", ixml));
      if (stream) return waveFile("RIFF", {chunks.back(), chunkWithSize("data", 0xFFFFFFFF, samples)});
      chunks.insert(chunks.end(), {chunk("data", samples), chunk("LIST", "INFOnote")});
      return waveFile("RIFF", chunks);
    };
    const std::string wx = file(c.wxTime, c.wxFrames, 61, c.fifos == 2),
                      yz = file(c.yzTime, c.yzFrames, 62, c.fifos);
    RunRequest request = conversionRequest(wx, yz);
    request.program = "/bin/sh";
    request.env["QUADREL_PROGRAM"] = programPath();
    std::string command = c.fifos == 2 ? "mv wx.wav w; mkfifo wx.wav; cat w > wx.wav & " : "";
    if (c.fifos) command += "mv yz.wav y; mkfifo yz.wav; cat y > yz.wav & ";
    command += "\"$QUADREL_PROGRAM\"";
    for (const std::string& word : c.options)
      command += " " + word;
    // A peer, where installed, reads the output back: four channels, the
    // frames written.
    command += " wx.wav yz.wav out.wav; s=$?; ";
    if (peerReader) {
      command +=
          "[ -f out.wav ] && sndfile-info out.wav | grep -c -e '^Channels    : 4$' -e '^Frames      : " +
          std::to_string(c.frames) + "$' >&2; ";
    }
    request.args = {"-c", command + "exit $s"};
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.err, *c.refusal != '\0' || !peerReader ? "" : "2\n");
    EXPECT_EQ(result.exitStatus, 0);
    const std::string head = bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav") +
                             summaryRecords(1, c.fifos == 2 ? -1 : c.wxFrames, 2, 48000, 24);
    if (*c.refusal != '\0') {
      EXPECT_TRUE(result.out.starts_with(head) && result.out.ends_with(errorRecord(c.refusal))) << result.out;
      EXPECT_EQ(result.files.count("out.wav"), 0u);
      continue;
    }
    auto column = [](std::int64_t value) {
      const std::string digits = std::to_string(value);
      return std::string(12 - digits.size(), ' ') + digits;
    };
    const std::string starts = c.starts;
    std::string report = starts.empty()
                             ? " Aligned by the offset given (--offset)\r\n"
                             : " Aligned by timecode (bext TimeReference)\r\n WX starts at             : " +
                                   starts.substr(0, 12) +
                                   "\r\n YZ starts at             : " + starts.substr(13) + "\r\n";
    report += " YZ starts after WX by    :" + column(c.skipWx - c.skipYz) + " frames " + c.ms + " ms\r\n";
    report += " Left out of WX start/end :" + column(c.skipWx) +
              column(c.fifos ? -1 : c.wxFrames - c.skipWx - c.frames) + " frames\r\n";
    report += " Left out of YZ start/end :" + column(c.skipYz) +
              column(c.fifos ? -1 : c.yzFrames - c.skipYz - c.frames) + " frames\r\n";
    report += " Frames written           :" + column(c.fifos ? -1 : c.frames) + "\r\n";
    std::string closing = closingRecords(48000);
    if (c.fifos)
      closing.insert(closing.find("  Conversion"), " Frames written, YZ ended :" + column(c.frames) + "\r\n");
    EXPECT_EQ(result.out,
              head + summaryRecords(2, c.fifos ? -1 : c.yzFrames, 2, 48000, 24) + report + closing);
    // The bext of WX, else of YZ, at the first frame written, one line longer.
    const bool ambix = c.options[0] == "--ambix";
    std::optional<std::string> bext;
    if (c.wxTime || c.yzTime) {
      const std::string how = c.starts[0] != '\0'
                                  ? "by timecode"
                                  : "with YZ " + std::to_string(c.skipWx - c.skipYz) + " frames after WX";
      bext =
          bextBody(c.time, history + "A=PCM,F=48000,W=" + (ambix ? "32" : "24") +
                               ",T=quadrel " QUADREL_VERSION ": four channels from two recordings aligned " +
                               how + "\r\n");
      if (bext->size() % 2 != 0) *bext += '\0';
    }
    const ChunkedOutput expected{
        false,
        c.fifos != 0,
        static_cast<std::uint64_t>(c.frames),
        ambix,
        ChunkedOutput::Aligned{static_cast<std::uint64_t>(c.skipWx), static_cast<std::uint64_t>(c.skipYz),
                               bext},
        c.fifos == 2
            ? std::nullopt
            : std::optional(expectedRecorderIxml(ixml, ambix, bext ? std::optional(c.time) : std::nullopt))};
    const std::string out = result.files.count("out.wav") ? result.files.at("out.wav") : "";
    EXPECT_TRUE(out == expectedChunkedConversion(c.fifos == 2 ? result.files.at("w") : wx,
                                                 c.fifos ? result.files.at("y") : yz, expected))
        << "the output differs";
  }
}

// Files that other tools write, in their usual layouts, each pair made
// from the same two stereo signals by one tool, then converted; a peer
// decodes the inputs and the output to raw samples, and the output's are
// the inputs' frames in W X Y Z order.
struct PeerCase {
  const char* name;
  const char* make;  // a shell function body: writes "$1" in the tool's layout as "$2"
  std::size_t sampleBytes;
  const char* convert = "\"$QUADREL_PROGRAM\" wx.wav yz.wav out.wav";
  const char* output = "out.wav";
  bool fifos = false;  // Wine reads a FIFO as a file that ends at once
};

TEST(Conversion, FilesOfOtherToolsConvertAndDecodeAsTheirFrames) {
  RunRequest probe;
  probe.program = "/bin/sh";
  probe.args = {"-c", "for t in sox ffmpeg sndfile-convert; do command -v $t >/dev/null || echo $t; done"};
  const RunResult found = runProgram(probe);
  if (!found.out.empty()) {
    GTEST_SKIP() << "missing (Debian packages sox, ffmpeg, sndfile-programs): " << found.out;
  }
  const PeerCase cases[] = {
      {"sox 16-bit", "sox \"$1\" -b 16 \"$2\"", 2},
      {"sox 24-bit, WAVE_FORMAT_EXTENSIBLE and fact", "sox \"$1\" -b 24 \"$2\"", 3},
      {"sox 32-bit float, 18-byte fmt and fact", "sox \"$1\" -e floating-point -b 32 \"$2\"", 4},
      {"sox 8-bit", "sox \"$1\" -b 8 \"$2\"", 1},
      {"ffmpeg pcm_s16le with LIST", "ffmpeg -v error -i \"$1\" -c:a pcm_s16le \"$2\"", 2},
      {"ffmpeg pcm_s24le, WAVE_FORMAT_EXTENSIBLE and LIST", "ffmpeg -v error -i \"$1\" -c:a pcm_s24le \"$2\"",
       3},
      {"ffmpeg pcm_f32le", "ffmpeg -v error -i \"$1\" -c:a pcm_f32le \"$2\"", 4},
      {"ffmpeg RF64", "ffmpeg -v error -i \"$1\" -c:a pcm_s16le -rf64 always \"$2\"", 2},
      {"ffmpeg streaming to a pipe, the WX file read from one",
       "ffmpeg -v error -i \"$1\" -c:a pcm_s24le -f wav - | cat > \"$2\"", 3,
       "cat wx.wav | \"$QUADREL_PROGRAM\" CONIN$ yz.wav out.wav"},
      {"libsndfile float with fact and PEAK", "sndfile-convert -float32 \"$1\" \"$2\"", 4},
      {"sox 16-bit streaming to a pipe, saved to files", "sox \"$1\" -b 16 -t wav - | cat > \"$2\"", 2},
      {"sox 24-bit streaming to a pipe, read from FIFOs", "sox \"$1\" -b 24 -t wav - | cat > \"$2\"", 3,
       "mkfifo w y; cat wx.wav > w & cat yz.wav > y & \"$QUADREL_PROGRAM\" w y out.wav", "out.wav", true},
      {"ffmpeg pcm_s24le to a B-format .amb", "ffmpeg -v error -i \"$1\" -c:a pcm_s24le \"$2\"", 3,
       "\"$QUADREL_PROGRAM\" wx.wav yz.wav out.amb", "out.amb"},
  };
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fifos && programRunsUnderWine()) continue;
    RunRequest request;
    request.program = "/bin/sh";
    request.env["QUADREL_PROGRAM"] = programPath();
    request.args = {
        "-c", std::string("set -e\n"
                          "sox -n -r 48000 -c 2 -e floating-point -b 32 a.wav synth 0.05 sine 440 sine 550\n"
                          "sox -n -r 48000 -c 2 -e floating-point -b 32 b.wav synth 0.05 sine 660 sine 770\n"
                          "make() { ") +
                  c.make + "; }\nmake a.wav wx.wav 2>/dev/null\nmake b.wav yz.wav 2>/dev/null\n" + c.convert +
                  " > console\n" + "for f in wx.wav yz.wav " + c.output +
                  "; do ffmpeg -v error -i $f -map 0:a -c:a copy -f data $f.raw; done"};
    request.timeout = std::chrono::seconds(60);
    RunResult result = runProgram(request);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(result.files["console"].ends_with("  Conversion terminated OK !!!!\r\n"));
    const std::string& wx = result.files["wx.wav.raw"];
    const std::string& yz = result.files["yz.wav.raw"];
    const std::size_t half = 2 * c.sampleBytes;
    ASSERT_EQ(wx.size(), yz.size());
    ASSERT_EQ(wx.size(), 2400 * half) << "0.05 s at 48 kHz";
    std::string frames;
    for (std::size_t at = 0; at < wx.size(); at += half)
      frames += wx.substr(at, half) + yz.substr(at, half);
    EXPECT_TRUE(result.files[std::string(c.output) + ".raw"] == frames)
        << "the decoded output is not W X Y Z";
  }
}

// Two recorders without timecode: the offset found from the sound of a
// scene made here (8 kHz, YZ 10000 frames after WX), the drift of a clock
// running 20 ppm slow, an offset given that the sound contradicts, and the
// pairs refused: silence, a pipe.
TEST(Conversion, SoundFindsTheOffsetAndWarnsWhereItDisagrees) {
  const SceneSpec recipe{8000, 200, {{SourceKind::clicks, {{0, 1, 70, 10}, {0.005, 0.2, -30, 0}}}}, -30, 3};
  const Channels scene = renderScene(recipe);
  // 16-bit samples; with a TimeReference, in a bext chunk before the fmt chunk.
  auto wav = [](const std::vector<float>& a, const std::vector<float>& b,
                std::optional<std::uint64_t> time = std::nullopt) {
    std::string bytes;
    for (std::size_t i = 0; i < a.size(); ++i) {
      for (float v : {a[i], b[i]}) {
        const auto sample = static_cast<std::int16_t>(std::lround(std::clamp(v * 0.5f, -1.0f, 1.0f) * 32767));
        bytes += {static_cast<char>(sample & 0xFF), static_cast<char>((sample >> 8) & 0xFF)};
      }
    }
    std::vector<std::string> chunks = {chunk("fmt ", formatBody({1, 2, 8000, 16, {}, {}})),
                                       chunk("data", bytes)};
    if (time) chunks.insert(chunks.begin(), chunk("bext", bextBody(*time)));
    return waveFile("RIFF", chunks);
  };
  auto pair = [&](std::int64_t wxFrames, std::int64_t yzFrames, double ppm) {
    return std::pair(wav(cut(scene.w, 0, wxFrames), cut(scene.x, 0, wxFrames)),
                     wav(cut(scene.y, 10000, yzFrames, ppm), cut(scene.z, 10000, yzFrames, ppm)));
  };
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::pair<std::string, std::string> files;
    std::vector<std::string> records;  // expected among the output's, or the refusal
    bool fifo = false;
  };
  const auto [wx, yz] = pair(480000, 400000, 0);
  const std::string silent = wav(std::vector<float>(80000), std::vector<float>(80000));
  const Case cases[] = {
      {"Found",
       {"--align=sound"},
       {wx, yz},
       {" YZ starts after WX by    :       10000 frames 1250.000 ms",
        " Frames written           :      400000"}},
      {"Drifting",
       {"--align=sound"},
       pair(1440000, 1400000, 20),
       {" WARNING - Clocks drift 2", " frames over the take (2", " ppm); not resampled"}},
      {"TimecodeContradicted",
       {"--align"},
       {wav(cut(scene.w, 0, 480000), cut(scene.x, 0, 480000), 1000),
        wav(cut(scene.y, 10000, 400000), cut(scene.z, 10000, 400000), 10990)},
       {" WARNING - Sound: YZ 10000 frames after WX; used the timecode's: 9990"}},
      {"OffsetContradicted",
       {"--offset=9990"},
       {wx, yz},
       {" WARNING - Sound: YZ 10000 frames after WX; used the offset given: 9990"}},
      {"Silence",
       {"--align=sound"},
       {silent, silent},
       {" ERROR - Too little sound in the first 2 minutes to align by; try --offset=N"}},
      {"Pipe",
       {"--align=sound"},
       {wx, yz},
       {" ERROR - --align=sound reads regular files, not pipes; try --offset=N"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fifo && programRunsUnderWine()) continue;
    RunRequest request = conversionRequest(c.files.first, c.files.second);
    request.program = "/bin/sh";
    request.env["QUADREL_PROGRAM"] = programPath();
    std::string command = c.fifo ? "mv yz.wav y; mkfifo yz.wav; cat y > yz.wav & " : "";
    command += "\"$QUADREL_PROGRAM\"";
    for (const std::string& word : c.options)
      command += " " + word;
    request.args = {"-c", command + " wx.wav yz.wav out.wav"};
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.exitStatus, 0);
    for (const std::string& record : c.records)
      EXPECT_NE(result.out.find(record), std::string::npos) << result.out;
    EXPECT_EQ(result.files.count("out.wav"), c.records[0].starts_with(" ERROR") ? 0u : 1u);
  }
}

}  // namespace
}  // namespace quadrel::harness
