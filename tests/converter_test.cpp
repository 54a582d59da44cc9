// The converter's pure rules: frame counts and the wrapping arithmetic of
// the four-channel header.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "converter/bformat_writer.h"
#include "converter/wave_header.h"
#include "services/units/little_endian.h"

namespace quadrel {
namespace {

TEST(FrameCount, TruncatesTowardZeroAndRefusesImpossibleDivisions) {
  EXPECT_EQ(frameCount(4000, 4), 1000);
  EXPECT_EQ(frameCount(4003, 4), 1000);
  EXPECT_EQ(frameCount(3, 4), 0);
  EXPECT_EQ(frameCount(4000, -4), -1000);
  EXPECT_EQ(frameCount(-4003, 4), -1000);
  EXPECT_EQ(frameCount(4000, 0), std::nullopt);
  EXPECT_EQ(frameCount(std::numeric_limits<std::int32_t>::min(), -1), std::nullopt);
  EXPECT_EQ(frameCount(std::numeric_limits<std::int32_t>::min() + 1, -1),
            std::numeric_limits<std::int32_t>::max());
}

InputHeaderFields stereo16() {
  InputHeaderFields fields;
  fields.channelCount = 2;
  fields.samplingRate = 44100;
  fields.byteRate = 176400;
  fields.bitsPerSample = 16;
  fields.dataLength = 4000;
  return fields;
}

WaveHeader canonicalPair() {
  WaveHeader header;
  header.shared.riffId = {'R', 'I', 'F', 'F'};
  header.shared.waveFmtId = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  header.shared.fmtLength = 16;
  header.shared.formatTag = 1;
  header.shared.blockAlign = 4;
  header.shared.dataId = {'d', 'a', 't', 'a'};
  header.wx = stereo16();
  header.wx.riffSize = 36 + 4000;
  header.yz = header.wx;
  return header;
}

struct Fields {
  std::int32_t riffSize, fmtLength, rate, byteRate, dataLength;
  std::int16_t formatTag, channels, blockAlign, bits;
};

Fields decode(const OutputHeader& out) {
  const std::byte* h = out.image.data();
  return {loadInt32Le(h + 4),  loadInt32Le(h + 16), loadInt32Le(h + 24),
          loadInt32Le(h + 28), loadInt32Le(h + 40), loadInt16Le(h + 20),
          loadInt16Le(h + 22), loadInt16Le(h + 32), loadInt16Le(h + 34)};
}

TEST(OutputHeader, SharedFieldsComeFromTheYzFileAndArithmeticWraps) {
  WaveHeader header = canonicalPair();
  header.shared.formatTag = 3;       // as left by the YZ read
  header.shared.blockAlign = 20000;  // doubled, it no longer fits 16 bits
  header.wx.riffSize = std::numeric_limits<std::int32_t>::max();
  header.wx.samplingRate = 1 << 30;
  Fields f = decode(buildOutputHeader(header, 3));
  EXPECT_EQ(f.formatTag, 3);
  EXPECT_EQ(f.blockAlign, static_cast<std::int16_t>(40000 - 65536));
  EXPECT_EQ(f.riffSize, static_cast<std::int32_t>(0x7FFFFFFFu + 4000u));
  EXPECT_EQ(f.byteRate, static_cast<std::int32_t>((1u << 30) * static_cast<std::uint32_t>(-25536)));
  EXPECT_EQ(f.dataLength, -25536 * 3);
}

}  // namespace
}  // namespace quadrel
