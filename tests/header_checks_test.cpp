// Input pairs that are refused: each writes its one error record after what
// came before, ends with status 0 and never creates or touches the output.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/expected_records.h"
#include "tests/support/program_run.h"
#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

constexpr std::int32_t lowestLength = std::numeric_limits<std::int32_t>::min();

struct Rejection {
  const char* name;
  WavSpec wx;
  std::optional<WavSpec> yz;  // nothing: no YZ file exists
  const char* message;
  bool wxSummaryShown;  // whether the WX summary comes before the message
};

void PrintTo(const Rejection& rejection, std::ostream* out) { *out << rejection.name; }

WavSpec stereo(std::uint32_t seed) { return stereo16(1000, seed); }

template <typename Change>
WavSpec changed(WavSpec recipe, Change change) {
  change(recipe);
  return recipe;
}

std::vector<Rejection> rejections() {
  const WavSpec wx = stereo(1);
  auto sixChannels = [](WavSpec& s) { s.channels = 6; };
  auto negativeAlign = [](WavSpec& s) {
    s.blockAlign = -4;
    s.byteRate = 176400;
  };
  auto minusOneAlignPastTwoGib = [](WavSpec& s) {
    s.blockAlign = -1;
    s.byteRate = 176400;
    s.dataLength = lowestLength;
  };
  return {
      {"WxNotStereo", changed(wx, sixChannels), changed(stereo(2), sixChannels),
       "ERROR - The input files must be stereo", false},
      {"WxNotStereoNeverOpensYz", changed(wx, sixChannels), std::nullopt,
       "ERROR - The input files must be stereo", false},
      {"ChannelCountFirstOfAll", wx,
       changed(stereo(2),
               [](WavSpec& s) {
                 s.channels = 1;
                 s.sampleRate = 8000;
                 s.bitsPerSample = 8;
                 s.dataLength = 7;
               }),
       "ERROR - Nchannels mismatch", true},
      {"RateBeforeLength", wx,
       changed(stereo(2),
               [](WavSpec& s) {
                 s.sampleRate = 48000;
                 s.dataLength = 8;
               }),
       "ERROR - Fsampling mismatch", true},
      {"ByteRate", wx, changed(stereo(2), [](WavSpec& s) { s.byteRate = 176401; }),
       "ERROR - Byterate mismatch", true},
      {"DataLength", wx, stereo16(999, 2), "ERROR - Lenght mismatch", true},
      {"LengthBeforeBits", wx,
       changed(stereo16(999, 2),
               [](WavSpec& s) {
                 s.bitsPerSample = 24;
                 s.blockAlign = 4;
               }),
       "ERROR - Lenght mismatch", true},
      {"Bits", wx,
       changed(stereo(2),
               [](WavSpec& s) {
                 s.bitsPerSample = 24;
                 s.blockAlign = 4;
                 s.sampleBytes = samplePattern(2, 4000);
               }),
       "ERROR - Bit resolution mismatch", true},
      {"WxBlockAlignZero", changed(wx, [](WavSpec& s) { s.blockAlign = 0; }), std::nullopt,
       "ERROR - Invalid block align", false},
      // Data lengths are unsigned: 2^31 bytes make 2^29 frames, not a negative count.
      {"WxDataLengthPastTwoGib", changed(wx, [](WavSpec& s) { s.dataLength = lowestLength; }), stereo(2),
       "ERROR - Lenght mismatch", true},
      {"YzBlockAlignZero", wx,
       changed(stereo(2),
               [](WavSpec& s) {
                 s.blockAlign = 0;
                 s.byteRate = 176400;
               }),
       "ERROR - Invalid block align", true},
      // A frame must be whole samples, two channels of bytes per sample each.
      {"NegativeBlockAlign", changed(wx, negativeAlign), changed(stereo(2), negativeAlign),
       "ERROR - Unsupported sample width", true},
      {"BlockAlignMinusOneWithTwoGibOfData", changed(wx, minusOneAlignPastTwoGib),
       changed(stereo(2), minusOneAlignPastTwoGib), "ERROR - Unsupported sample width", true},
      {"BlockAlignOfPartSamples", changed(wx, [](WavSpec& s) { s.blockAlign = 6; }),
       changed(stereo(2), [](WavSpec& s) { s.blockAlign = 6; }), "ERROR - Unsupported sample width", true},
      {"YzBlockAlignDiffers", wx,
       changed(stereo(2),
               [](WavSpec& s) {
                 s.blockAlign = 8;
                 s.byteRate = 176400;
               }),
       "ERROR - Unsupported sample width", true},
  };
}

class RejectedPair : public ::testing::TestWithParam<std::tuple<Rejection, bool>> {};

TEST_P(RejectedPair, WritesOnlyItsErrorRecordAndLeavesTheOutputAlone) {
  const auto& [rejection, outputExists] = GetParam();
  std::string wx = buildWav(rejection.wx);
  RunRequest request;
  request.args = {"wx.wav", "yz.wav", "out.wav"};
  request.files = {{"wx.wav", wx}};
  if (rejection.yz) request.files["yz.wav"] = buildWav(*rejection.yz);
  if (outputExists) request.files["out.wav"] = "an older result";
  RunResult result = runProgram(request);

  std::string expected = bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav");
  if (rejection.wxSummaryShown) {
    WavHeaderFields w = *readWavHeader(wx);
    const std::int64_t frames = std::int64_t{static_cast<std::uint32_t>(w.dataLength)} / w.blockAlign;
    expected += summaryRecords(1, frames, w.channels, w.sampleRate, w.bitsPerSample);
  }
  EXPECT_EQ(result.out, expected + errorRecord(rejection.message));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  std::map<std::string, std::string> files = request.files;
  EXPECT_EQ(result.files, files) << "the inputs and any existing output stay as they were";
}

INSTANTIATE_TEST_SUITE_P(HeaderChecks, RejectedPair,
                         ::testing::Combine(::testing::ValuesIn(rejections()), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Rejection, bool>>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_OutputExists" : "_NoOutput");
                         });

}  // namespace
}  // namespace quadrel::harness
