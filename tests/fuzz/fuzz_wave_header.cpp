// Fuzz target: the header reader, the chunk walker, the checks and the
// output header on arbitrary bytes.
//
// The input holds two files' worth of bytes: the first byte says where the
// WX file ends, the rest is the WX file then the YZ file. The groups are
// decoded and checked in the order the converter uses, stopping where the
// converter would stop (a group past the end of its file, a failed check).
// Every decoded field must agree with an independent reader of the 44
// bytes, and an accepted pair's output header must agree with the expected
// conversion that the tests compute on their own. Each file is also walked
// chunk by chunk: the walker must take no byte beyond the file, stop at the
// first byte of the data, and agree with the tests' own reader of chunk
// layouts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "converter/chunk_walker.h"
#include "converter/output_header.h"
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

// A frame half is two samples of whole bytes, whatever the width.
std::size_t frameHalfLength(std::int16_t bitsPerSample) {
  return bitsPerSample > 0 ? 2 * static_cast<std::size_t>((bitsPerSample + 7) / 8) : 0;
}

// The layout of a file read at the fixed positions: its data length is the
// unsigned field, or up to the end of the file for 0xFFFFFFFF in a RIFF file.
InputLayout fixedLayout(std::string_view file, const SharedHeaderFields& shared,
                        const InputHeaderFields& input) {
  InputLayout layout;
  layout.blockAlign = shared.blockAlign;
  const auto declared = static_cast<std::uint32_t>(input.dataLength);
  layout.dataLength = declared;
  if (file.substr(0, 4) == "RIFF" && declared == 0xFFFFFFFF) layout.dataLength = file.size() - 44;
  return layout;
}

// The accepted pair's header against the expected conversion, when the
// frames are few enough to pad both files with them.
void requireExpectedOutputHeader(std::string_view wx, std::string_view yz, const WaveHeader& header,
                                 std::int64_t frames) {
  const std::size_t half = frameHalfLength(header.wx.bitsPerSample);
  if (frames < 0 || static_cast<std::uint64_t>(frames) * half > 1 << 16) return;
  const OutputHeader out = buildOutputHeader(header, frames);
  const std::size_t sampleBytes = half * static_cast<std::size_t>(frames);
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
  header.wxLayout = fixedLayout(wx, header.shared, header.wx);
  if (header.wxLayout.blockAlign == 0) return;

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
  header.yzLayout = fixedLayout(yz, header.shared, header.yz);
  if (compareAfterGroupD(header.wx, header.wxLayout, header.yz, header.yzLayout)) return;

  // Every compared field now agrees.
  require(header.yz.channelCount == 2 && header.yz.samplingRate == header.wx.samplingRate);
  require(header.yz.byteRate == header.wx.byteRate &&
          header.wxLayout.dataLength == header.yzLayout.dataLength);
  require(header.yz.bitsPerSample == header.wx.bitsPerSample);
  const std::optional<std::int64_t> frames =
      frameCount(*header.wxLayout.dataLength, header.yzLayout.blockAlign);
  if (!frames) return;
  require(*frames == static_cast<std::int64_t>(*header.wxLayout.dataLength) / header.yzLayout.blockAlign);
  if (checkSampleWidth(header.wx, header.wxLayout) || checkSampleWidth(header.yz, header.yzLayout)) return;
  // A frame is two whole samples, so 32-bit data lengths give 32-bit counts.
  require(*frames >= 0 && *frames <= std::numeric_limits<std::int32_t>::max());
  if (static_cast<std::uint32_t>(header.wx.dataLength) == 0xFFFFFFFF) return;
  requireExpectedOutputHeader(wx, yz, header, *frames);
}

// The reader's sample kinds are the format tags of PCM and float, else 0.
int tagOfKind(SampleKind kind) {
  if (kind == SampleKind::pcm) return 1;
  return kind == SampleKind::ieeeFloat ? 3 : 0;
}

// The walker on one file, against the tests' reader of chunk layouts.
void examineWalk(std::string_view file) {
  SpanByteSource source(std::as_bytes(std::span(file)));
  const ChunkWalk walk = walkChunks(source, true);
  require(source.consumed() <= file.size());
  const std::optional<harness::WavLayout> layout = harness::readWavLayout(file);
  require(layout.has_value() == (walk.end == WalkEnd::data));
  const bool waveForm =
      file.size() >= 12 && waveFormOf(std::as_bytes(std::span(file)).first<12>()) != WaveForm::other;
  require((walk.end == WalkEnd::notWave) == (file.size() >= 12 && !waveForm));
  if (!layout) return;

  require(source.consumed() == walk.dataStart && walk.dataStart == layout->dataStart);
  require(walk.dataLength == layout->dataLength);
  require(walk.shortFormat == layout->formatTooShort);
  require(walk.format.has_value() == layout->format.has_value());
  if (walk.format) {
    const harness::FormatSpec& f = *layout->format;
    require(walk.format->formatTag == f.tag && walk.format->channels == f.channels);
    require(walk.format->sampleRate == f.sampleRate && walk.format->byteRate == f.byteRate);
    require(walk.format->blockAlign == f.blockAlign && walk.format->bitsPerSample == f.bitsPerSample);
    require(layout->sampleKind == tagOfKind(walk.format->kind));
  }
  require(walk.bext.has_value() == layout->bext.has_value());
  if (walk.bext) {
    require(walk.bext->size() == layout->bext->size());
    require(walk.bext->empty() ||
            std::memcmp(walk.bext->data(), layout->bext->data(), walk.bext->size()) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = std::min<std::size_t>(data[0], rest.size());
  examinePair(rest.substr(0, split), rest.substr(split));
  examineWalk(rest.substr(0, split));
  examineWalk(rest.substr(split));
  return 0;
}
