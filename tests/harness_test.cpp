// Guards of the test oracle: the WAV builder and reader, and the expected
// conversion that many whole-run tests compare against.
#include <gtest/gtest.h>

#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

TEST(WavBuilder, CanonicalFieldsAreComputedFromTheOthers) {
  WavSpec recipe = stereo16(10, 7);
  recipe.trailing = chunk("LIST", "abcd");
  std::string file = buildWav(recipe);
  ASSERT_EQ(file.size(), 44u + 40 + 12);
  EXPECT_EQ(file.substr(0, 16), std::string("RIFF") + std::string("\x58\0\0\0", 4) + "WAVEfmt ");
  EXPECT_EQ(readWavHeader(file),
            (WavHeaderFields{"RIFF", 88, "WAVEfmt ", 16, 1, 2, 44100, 176400, 4, 16, "data", 40}));
  EXPECT_EQ(file.substr(44, 40), samplePattern(7, 40));
  EXPECT_EQ(file.substr(84), std::string("LIST\4\0\0\0abcd", 12));
  // Patterns differ between seeds and along the data, so a byte moved to
  // the wrong frame or channel shows.
  EXPECT_NE(samplePattern(1, 4096), samplePattern(2, 4096));
  EXPECT_NE(samplePattern(1, 16).substr(0, 8), samplePattern(1, 16).substr(8, 8));
}

WavSpec withSamples(std::int16_t bits, std::string samples) {
  WavSpec recipe;
  recipe.bitsPerSample = bits;
  recipe.sampleBytes = std::move(samples);
  return recipe;
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

}  // namespace
}  // namespace quadrel::harness
