// Fuzz target: the header reader, the checks and the output header on
// arbitrary bytes.
//
// The input holds two files' worth of bytes: the first byte says where the
// WX file ends, the rest is the WX file then the YZ file. The groups are
// decoded and checked in the order the converter uses, stopping where the
// converter would stop (a group past the end of its file, a failed check).
// Every decoded field must agree with an independent reader of the 44
// bytes, and an accepted pair's output header must agree with the expected
// conversion that the tests compute on their own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "converter/bformat_writer.h"
#include "converter/wave_header.h"
#include "tests/support/wav_builder.h"

namespace {

using namespace quadrel;

void require(bool condition) {
  if (!condition) std::abort();
}

// The next group image of a file, or nothing when the file ends inside it.
class GroupCursor {
 public:
  explicit GroupCursor(std::string_view file) : file_(file) {}
  const std::byte* next(std::size_t length) {
    if (file_.size() - at_ < length) return nullptr;
    const auto* image = reinterpret_cast<const std::byte*>(file_.data() + at_);
    at_ += length;
    return image;
  }

 private:
  std::string_view file_;
  std::size_t at_ = 0;
};

void requireSameAsIndependentReader(std::string_view file, const SharedHeaderFields& shared,
                                    const InputHeaderFields& input) {
  const std::optional<harness::WavHeaderFields> fields = harness::readWavHeader(file);
  require(fields.has_value());
  require(std::string_view(shared.riffId.data(), 4) == fields->riffId);
  require(std::string_view(shared.waveFmtId.data(), 8) == fields->waveFmtId);
  require(std::string_view(shared.dataId.data(), 4) == fields->dataId);
  require(shared.fmtLength == fields->fmtLength && shared.formatTag == fields->formatTag);
  require(shared.blockAlign == fields->blockAlign);
  require(input.riffSize == fields->riffSize && input.channelCount == fields->channels);
  require(input.samplingRate == fields->sampleRate && input.byteRate == fields->byteRate);
  require(input.bitsPerSample == fields->bitsPerSample && input.dataLength == fields->dataLength);
}

std::size_t frameHalfLength(std::int16_t bitsPerSample) {
  switch (bitsPerSample) {
    case 16:
      return 4;
    case 24:
      return 6;
    case 32:
      return 8;
    default:
      return 0;
  }
}

// The accepted pair's header against the expected conversion, when the
// frames are few enough to pad both files with them.
void requireExpectedOutputHeader(std::string_view wx, std::string_view yz, const WaveHeader& header,
                                 std::int32_t frames) {
  const OutputHeader out = buildOutputHeader(header, frames);
  const std::size_t half = frameHalfLength(header.wx.bitsPerSample);
  const std::size_t sampleBytes = frames > 0 ? half * static_cast<std::size_t>(frames) : 0;
  if (sampleBytes > 1 << 16) return;
  std::string paddedWx(wx.substr(0, 44));
  std::string paddedYz(yz.substr(0, 44));
  paddedWx.resize(44 + sampleBytes);
  paddedYz.resize(44 + sampleBytes);
  const std::optional<std::string> expected = harness::expectedConversion(paddedWx, paddedYz);
  require(expected.has_value() && expected->size() >= 44);
  require(std::memcmp(expected->data(), out.image.data(), 44) == 0);
}

void examinePair(std::string_view wx, std::string_view yz) {
  WaveHeader header;
  GroupCursor wxGroups(wx);
  const std::byte* a = wxGroups.next(groupALength);
  const std::byte* b = a ? wxGroups.next(groupBLength) : nullptr;
  if (b == nullptr) return;
  decodeGroupA(a, header.shared, header.wx);
  decodeGroupB(b, header.shared, header.wx);
  if (checkWxStereo(header.wx)) {
    require(header.wx.channelCount != 2);
    return;
  }
  const std::byte* c = wxGroups.next(groupCLength);
  const std::byte* d = c ? wxGroups.next(groupDLength) : nullptr;
  if (d == nullptr) return;
  decodeGroupC(c, header.wx);
  decodeGroupD(d, header.shared, header.wx);
  requireSameAsIndependentReader(wx, header.shared, header.wx);
  if (!frameCount(header.wx.dataLength, header.shared.blockAlign)) return;

  GroupCursor yzGroups(yz);
  a = yzGroups.next(groupALength);
  b = a ? yzGroups.next(groupBLength) : nullptr;
  c = b ? yzGroups.next(groupCLength) : nullptr;
  if (c == nullptr) return;
  decodeGroupA(a, header.shared, header.yz);
  decodeGroupB(b, header.shared, header.yz);
  decodeGroupC(c, header.yz);
  if (compareAfterGroupC(header.wx, header.yz)) return;
  d = yzGroups.next(groupDLength);
  if (d == nullptr) return;
  decodeGroupD(d, header.shared, header.yz);
  requireSameAsIndependentReader(yz, header.shared, header.yz);
  if (compareAfterGroupD(header.wx, header.yz)) return;

  // Every compared field now agrees.
  require(header.yz.channelCount == 2 && header.yz.samplingRate == header.wx.samplingRate);
  require(header.yz.byteRate == header.wx.byteRate && header.yz.dataLength == header.wx.dataLength);
  require(header.yz.bitsPerSample == header.wx.bitsPerSample);
  const std::optional<std::int32_t> frames = frameCount(header.wx.dataLength, header.shared.blockAlign);
  if (!frames) return;
  require(*frames == static_cast<std::int64_t>(header.wx.dataLength) / header.shared.blockAlign);
  requireExpectedOutputHeader(wx, yz, header, *frames);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = std::min<std::size_t>(data[0], rest.size());
  examinePair(rest.substr(0, split), rest.substr(split));
  return 0;
}
