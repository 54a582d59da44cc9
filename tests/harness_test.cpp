// Self-tests of the test support: the WAV builder and reader, the expected
// conversion, and the child-process runner (driven with /bin/sh).
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/program_run.h"
#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

TEST(WavBuilder, CanonicalFieldsAreComputedFromTheOthers) {
  WavSpec spec = stereo16(10, 7);
  spec.trailing = chunk("LIST", "abcd");
  std::string file = buildWav(spec);
  ASSERT_EQ(file.size(), 44u + 40 + 12);
  EXPECT_EQ(file.substr(0, 16), std::string("RIFF") + std::string("\x58\0\0\0", 4) + "WAVEfmt ");
  EXPECT_EQ(readWavHeader(file),
            (WavHeaderFields{"RIFF", 88, "WAVEfmt ", 16, 1, 2, 44100, 176400, 4, 16, "data", 40}));
  EXPECT_EQ(file.substr(44, 40), samplePattern(7, 40));
  EXPECT_EQ(file.substr(84), std::string("LIST\4\0\0\0abcd", 12));
}

TEST(WavBuilder, EveryFieldTakesAnyValueAndTheFileCanBeCut) {
  WavSpec spec;
  spec.riffId = "RIFX";
  spec.riffSize = -5;
  spec.waveFmtId = "WAVEfm";  // padded with NULs to 8
  spec.fmtLength = 18;
  spec.formatTag = -2;
  spec.channels = 6;
  spec.sampleRate = -1;
  spec.byteRate = 0x7FFFFFFF;
  spec.blockAlign = -32768;
  spec.bitsPerSample = 0;
  spec.dataId = "datax";  // cut to 4
  spec.dataLength = -2147483647 - 1;
  spec.sampleBytes = "xyz";
  std::string file = buildWav(spec);
  EXPECT_EQ(file.size(), 47u);
  EXPECT_EQ(readWavHeader(file), (WavHeaderFields{"RIFX", -5, std::string("WAVEfm\0\0", 8), 18, -2, 6, -1,
                                                  0x7FFFFFFF, -32768, 0, "data", -2147483647 - 1}));
  spec.truncateTo = 43;
  EXPECT_EQ(buildWav(spec).size(), 43u);
  EXPECT_EQ(readWavHeader(buildWav(spec)), std::nullopt);
}

TEST(WavBuilder, PatternsDifferBetweenSeedsAndAlongTheData) {
  std::string a = samplePattern(1, 4096), b = samplePattern(2, 4096);
  EXPECT_NE(a, b);
  EXPECT_NE(a.substr(0, 8), a.substr(8, 8));
  EXPECT_EQ(a, samplePattern(1, 4096));
}

WavSpec withSamples(std::int16_t bits, std::string samples) {
  WavSpec spec;
  spec.bitsPerSample = bits;
  spec.sampleBytes = std::move(samples);
  return spec;
}

TEST(ExpectedConversion, InterleavesHalvesAndCopiesTheWxTail) {
  struct Case {
    std::int16_t bits;
    std::string wx, yz, frames;
  };
  const Case cases[] = {
      {16, "ABCDEFGH", "abcdefgh", "ABCDabcdEFGHefgh"},
      {24, "ABCDEFGHIJKL", "abcdefghijkl", "ABCDEFabcdefGHIJKLghijkl"},
      {32, "ABCDEFGH", "abcdefgh", "ABCDEFGHabcdefgh"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    WavSpec wx = withSamples(c.bits, c.wx);
    wx.trailing = "TAIL";
    std::string wxFile = buildWav(wx);
    std::string yzFile = buildWav(withSamples(c.bits, c.yz)) + "ignored";
    std::optional<std::string> out = expectedConversion(wxFile, yzFile);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->substr(44), c.frames + "TAIL");
    std::optional<WavHeaderFields> header = readWavHeader(*out);
    EXPECT_EQ(header->channels, 4);
    EXPECT_EQ(header->blockAlign, 2 * (c.bits / 4));
    EXPECT_EQ(header->dataLength, static_cast<std::int32_t>(c.frames.size()));
    EXPECT_EQ(header->riffSize, 36 + 2 * static_cast<std::int32_t>(c.wx.size()) + 4);
    EXPECT_EQ(header->byteRate, 44100 * header->blockAlign);
  }
}

TEST(ExpectedConversion, DerivedFieldsWrapAndImpossibleDivisionsGiveNothing) {
  WavSpec wx = withSamples(8, "12345678");
  WavSpec yz = wx;
  yz.blockAlign = 20000;  // doubled: -25536 in 16 bits
  yz.formatTag = 3;
  yz.riffId = "RIFX";
  std::optional<std::string> out = expectedConversion(buildWav(wx), buildWav(yz));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(readWavHeader(*out),
            (WavHeaderFields{"RIFX", 52, "WAVEfmt ", 16, 3, 4, 44100, 44100 * -25536, -25536, 8, "data", 0}));
  EXPECT_EQ(out->substr(44), "12345678");

  yz.blockAlign = 0;
  EXPECT_EQ(expectedConversion(buildWav(wx), buildWav(yz)), std::nullopt);
  WavSpec shortYz = withSamples(16, "abcd");
  EXPECT_EQ(expectedConversion(buildWav(withSamples(16, "ABCDEFGH")), buildWav(shortYz)), std::nullopt);
}

RunRequest shell(std::string script) {
  RunRequest request;
  request.program = "/bin/sh";
  request.args = {"-c", std::move(script)};
  return request;
}

TEST(ProgramRun, CapturesStreamsStatusAndFilesInAFreshFolder) {
  RunRequest request = shell("cat in.txt; echo err >&2; printf made > sub/out.txt; pwd; echo \"$1\"; exit 3");
  request.args.push_back("sh");
  request.args.push_back("{dir}/x");
  request.files = {{"in.txt", "given\n"}, {"sub/keep", ""}};
  RunResult result = runProgram(request);
  EXPECT_EQ(result.out, "given\n" + result.dir + "\n" + result.dir + "/x\n");
  EXPECT_EQ(result.err, "err\n");
  EXPECT_EQ(result.exitStatus, 3);
  EXPECT_EQ(result.termSignal, 0);
  EXPECT_EQ(result.files, (std::map<std::string, std::string>{
                              {"in.txt", "given\n"}, {"sub/keep", ""}, {"sub/out.txt", "made"}}));
  EXPECT_FALSE(std::filesystem::exists(result.dir));
}

TEST(ProgramRun, CleansTheProgramsVariablesFromTheEnvironment) {
  setenv("FORT5", "x", 1);
  setenv("for_ignore_exceptions", "1", 1);
  setenv("FORMAT_KEPT", "1", 1);
  RunRequest request = shell("env | grep -i -e '^for' | sort");
  request.env = {{"FORT0", "{dir}/e"}};
  RunResult result = runProgram(request);
  unsetenv("FORT5");
  unsetenv("for_ignore_exceptions");
  unsetenv("FORMAT_KEPT");
  EXPECT_EQ(result.out, "FORMAT_KEPT=1\nFORT0=" + result.dir + "/e\n");
}

TEST(ProgramRun, StdinKindsDeliverTheBytesWithoutDeadlock) {
  std::string big = samplePattern(3, 1 << 20);
  for (StdinKind kind : {StdinKind::pipe, StdinKind::file}) {
    RunRequest request = shell("cat; cat >&2 < /dev/null; head -c 200000 /dev/zero >&2");
    request.stdinKind = kind;
    request.stdinBytes = big;
    RunResult result = runProgram(request);
    EXPECT_EQ(result.out, big);
    EXPECT_EQ(result.err, std::string(200000, '\0'));
  }
  struct Case {
    StdinKind kind;
    const char* out;
  };
  const Case cases[] = {
      {StdinKind::devNull, "char\n"}, {StdinKind::terminal, "tty\n"}, {StdinKind::closed, "closed\n"}};
  for (const Case& c : cases) {
    RunRequest request = shell(
        "if [ -t 0 ]; then echo tty; elif [ -c /dev/stdin ]; then echo char; "
        "elif ! [ -e /proc/self/fd/0 ]; then echo closed; fi");
    request.stdinKind = c.kind;
    EXPECT_EQ(runProgram(request).out, c.out);
  }
}

TEST(ProgramRun, ResetsSignalsAndAppliesTheFileSizeLimit) {
  // The test process ignores SIGPIPE; the child must not inherit that.
  RunResult result = runProgram(shell("kill -PIPE $$; echo survived"));
  EXPECT_EQ(result.exitStatus, -1);
  EXPECT_EQ(result.termSignal, SIGPIPE);

  RunRequest request = shell("head -c 5000 /dev/zero > f");
  request.fileSizeLimit = 1000;
  result = runProgram(request);
  EXPECT_EQ(result.files["f"].size(), 1000u);
  EXPECT_NE(result.exitStatus, 0);
}

TEST(ProgramRun, InteractiveRunsTakeInputAndSignals) {
  RunningProgram talk(shell("echo ready; read line; echo \"got $line\""));
  ASSERT_TRUE(talk.waitForOutput("ready"));
  talk.writeStdin("abc\n");
  RunResult result = talk.finish();
  EXPECT_EQ(result.out, "ready\ngot abc\n");
  EXPECT_EQ(result.exitStatus, 0);

  RunningProgram waiting(shell("echo ready >&2; exec sleep 30"));
  ASSERT_TRUE(waiting.waitForError("ready"));
  waiting.sendSignal(SIGINT);
  result = waiting.finish();
  EXPECT_EQ(result.termSignal, SIGINT);
}

}  // namespace
}  // namespace quadrel::harness
