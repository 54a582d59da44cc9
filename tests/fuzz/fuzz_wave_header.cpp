// Fuzz target: the chunk parser, the rule of the chunks after the data,
// and the canonical output header, on arbitrary bytes.
//
// The input holds two files' worth of bytes: the first byte says where the
// WX file ends, the second how large the pieces are in which the parser is
// fed, the rest is the WX file then the YZ file. Each file is parsed whole
// and in pieces: both must agree, the parser must want no byte past the
// data chunk's header, and it must agree with the tests' own reader of
// chunk layouts, the bext and iXML bodies it keeps included. The chunks
// that a chunked output takes after the data must be those the tests' own
// rule finds. A pair of canonical headers must give the output header of
// the expected conversion the tests compute.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/input_description.h"
#include "converter/output_header.h"
#include "converter/tail_chunks.h"
#include "converter/wave_parser.h"
#include "tests/support/wav_builder.h"

namespace {

using namespace quadrel;

void require(bool condition) {
  if (!condition) std::abort();
}

// Feeds `file` to a parser in pieces of `piece` bytes, as far as it wants;
// returns the bytes it took.
std::size_t parse(std::string_view file, std::size_t piece, WaveParser& parser) {
  const std::span<const std::byte> bytes = std::as_bytes(std::span(file));
  std::size_t taken = 0;
  while (taken < bytes.size() && parser.wanted() > 0) {
    const std::size_t size = std::min<std::uint64_t>({piece, bytes.size() - taken, parser.wanted()});
    parser.take(bytes.subspan(taken, size));
    taken += size;
  }
  return taken;
}

// The reader's sample kinds are the format tags of PCM and float, else 0.
int tagOfKind(SampleKind kind) {
  if (kind == SampleKind::pcm) return 1;
  return kind == SampleKind::ieeeFloat ? 3 : 0;
}

void examineParse(std::string_view file, std::size_t piece) {
  WaveParser whole(true);
  WaveParser pieces(true);
  const std::size_t taken = parse(file, file.size() + 1, whole);
  require(parse(file, piece, pieces) == taken);
  require(whole.atData() == pieces.atData() && whole.notWave() == pieces.notWave());
  const std::optional<harness::WavLayout> layout = harness::readWavLayout(file);
  require(layout.has_value() == whole.atData());
  if (!layout) return;

  const ParsedWave& parsed = whole.parsed();
  const ParsedWave& again = pieces.parsed();
  require(parsed.dataStart == taken && again.dataStart == taken && parsed.dataStart == layout->dataStart);
  require(parsed.dataSize == again.dataSize && parsed.format == again.format && parsed.bext == again.bext);
  require(parsed.shortFormat == layout->formatTooShort);
  require(parsed.format.has_value() == layout->format.has_value());
  if (parsed.format) {
    const harness::FormatSpec& f = *layout->format;
    require(parsed.format->formatTag == f.tag && parsed.format->channels == f.channels);
    require(parsed.format->sampleRate == f.sampleRate && parsed.format->byteRate == f.byteRate);
    require(parsed.format->blockAlign == f.blockAlign && parsed.format->bitsPerSample == f.bitsPerSample);
    require(layout->sampleKind == tagOfKind(parsed.format->kind) &&
            parsed.format->validBits == layout->validBits);
  }
  require(parsed.ixml == again.ixml);
  const auto same = [](const std::optional<std::vector<std::byte>>& kept,
                       const std::optional<std::string>& read) {
    return kept.has_value() == read.has_value() &&
           (!kept || (kept->size() == read->size() &&
                      (kept->empty() || std::memcmp(kept->data(), read->data(), kept->size()) == 0)));
  };
  require(same(parsed.bext, layout->bext) && same(parsed.ixml, layout->ixml));

  // The chunks after the data, listed from the bytes in memory, against the
  // tests' own rule.
  const std::uint64_t held =
      std::min<std::uint64_t>(layout->dataLength.value_or(file.size() - taken), file.size() - taken);
  const std::uint64_t from = taken + held + held % 2;
  const std::uint64_t limit = std::min<std::uint64_t>(file.size(), layout->riffEnd.value_or(file.size()));
  const auto read = [&](std::uint64_t offset, std::span<std::byte, chunkHeaderLength> header) {
    if (offset > file.size() || file.size() - offset < header.size()) return false;
    std::memcpy(header.data(), file.data() + offset, header.size());
    return true;
  };
  std::string listed;
  for (const TailChunk& chunk : listTailChunks(from, limit, read))
    listed += harness::chunk(file.substr(chunk.offset, 4), file.substr(chunk.offset + 8, chunk.size));
  require(listed == harness::expectedTailChunks(file, *layout, from));
}

// An input read at the canonical positions, as the reader describes it.
std::optional<InputDescription> fixedInput(std::string_view file) {
  const std::optional<harness::WavHeaderFields> h = harness::readWavHeader(file);
  if (!h) return std::nullopt;
  InputDescription input;
  input.form = InputForm::canonical;
  input.format.formatTag = static_cast<std::uint16_t>(h->formatTag);
  input.format.channels = static_cast<std::uint16_t>(h->channels);
  input.format.sampleRate = static_cast<std::uint32_t>(h->sampleRate);
  input.format.byteRate = static_cast<std::uint32_t>(h->byteRate);
  input.format.blockAlign = static_cast<std::uint16_t>(h->blockAlign);
  input.format.bitsPerSample = static_cast<std::uint16_t>(h->bitsPerSample);
  FixedHeader fixed;
  std::memcpy(fixed.riffId.data(), h->riffId.data(), 4);
  std::memcpy(fixed.waveFmtId.data(), h->waveFmtId.data(), 8);
  std::memcpy(fixed.dataId.data(), h->dataId.data(), 4);
  fixed.riffSize = static_cast<std::uint32_t>(h->riffSize);
  fixed.fmtLength = static_cast<std::uint32_t>(h->fmtLength);
  fixed.dataLength = static_cast<std::uint32_t>(h->dataLength);
  input.fixed = fixed;
  return input;
}

// The canonical output header against the expected conversion, when the
// frames are few enough to pad both files with them.
void examineCanonicalHeader(std::string_view wx, std::string_view yz) {
  const std::optional<InputDescription> w = fixedInput(wx);
  const std::optional<InputDescription> y = fixedInput(yz);
  if (!w || !y || w->format.blockAlign == 0 || y->format.blockAlign == 0) return;
  const auto align = static_cast<std::int16_t>(y->format.blockAlign);
  const std::int64_t frames = static_cast<std::int64_t>(w->fixed->dataLength) / align;
  const auto bits = static_cast<std::int16_t>(w->format.bitsPerSample);
  const std::size_t half = bits > 0 ? 2 * static_cast<std::size_t>((bits + 7) / 8) : 0;
  if (frames < 0 || static_cast<std::uint64_t>(frames) * half > 1 << 16) return;
  std::string paddedWx(wx.substr(0, 44));
  std::string paddedYz(yz.substr(0, 44));
  paddedWx.resize(44 + half * static_cast<std::size_t>(frames));
  paddedYz.resize(paddedWx.size());
  const std::optional<std::string> expected = harness::expectedConversion(paddedWx, paddedYz);
  require(expected.has_value() && expected->size() >= 44);
  const CanonicalImage image = buildCanonicalHeader(*w, *y, frames);
  require(std::memcmp(expected->data(), image.data(), 44) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t split = std::min<std::size_t>(data[0], rest.size());
  const std::size_t piece = 1 + data[1] % 16;
  examineParse(rest.substr(0, split), piece);
  examineParse(rest.substr(split), piece);
  examineCanonicalHeader(rest.substr(0, split), rest.substr(split));
  return 0;
}
