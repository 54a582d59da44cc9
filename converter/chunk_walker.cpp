// Walking the chunks of a WAVE file up to its data chunk.
#include "converter/chunk_walker.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

// fmt body: tag 0, channels 2, rate 4, byte rate 8, block align 12, bits
// 14; for WAVE_FORMAT_EXTENSIBLE also extension size 16, valid bits 18,
// channel mask 20 and the SubFormat GUID at 24 to 39.
constexpr std::size_t subFormatOffset = 24;
// ds64 body: RIFF size 0, data size 8, sample count 16, each 64 bits.
constexpr std::size_t ds64DataSizeOffset = 8;
constexpr std::size_t ds64DataSizeEnd = 16;

bool idIs(const std::byte* id, std::string_view name) { return std::memcmp(id, name.data(), 4) == 0; }

// Reads and drops `count` bytes through a small buffer.
bool skip(ByteSource& source, std::uint64_t count) {
  std::array<std::byte, 8192> scratch;
  while (count > 0) {
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count, scratch.size()));
    if (!source.read(scratch.data(), step)) return false;
    count -= step;
  }
  return true;
}

// The fields of an fmt body of which `length` bytes (16 or more) were read.
FormatFields decodeFormat(const std::byte* body, std::size_t length) {
  FormatFields format;
  format.formatTag = loadUint16Le(body);
  format.channels = loadUint16Le(body + 2);
  format.sampleRate = loadUint32Le(body + 4);
  format.byteRate = loadUint32Le(body + 8);
  format.blockAlign = loadUint16Le(body + 12);
  format.bitsPerSample = loadUint16Le(body + 14);
  format.kind =
      sampleKindOf(format.formatTag, length >= extensibleFormatLength ? body + subFormatOffset : nullptr);
  return format;
}

// The data length that a data chunk of `size` declares.
std::optional<std::uint64_t> declaredDataLength(WaveForm form, std::uint32_t size,
                                                std::optional<std::uint64_t> ds64DataSize) {
  std::optional<std::uint64_t> length = size;
  if (size == sizeUpToTheEnd) length = form == WaveForm::riff ? std::nullopt : ds64DataSize;
  if (length == 0u) return std::nullopt;
  return length;
}

}  // namespace

bool SpanByteSource::read(std::byte* into, std::size_t size) {
  if (size > bytes_.size() - consumed_) return false;
  if (size > 0) std::memcpy(into, bytes_.data() + consumed_, size);
  consumed_ += size;
  return true;
}

WaveForm waveFormOf(std::span<const std::byte, 12> start) {
  if (!idIs(start.data() + 8, "WAVE")) return WaveForm::other;
  if (idIs(start.data(), "RIFF")) return WaveForm::riff;
  if (idIs(start.data(), "RF64")) return WaveForm::rf64;
  if (idIs(start.data(), "BW64")) return WaveForm::bw64;
  return WaveForm::other;
}

SampleKind sampleKindOf(std::uint16_t formatTag, const std::byte* subFormat) {
  if (formatTag == 1) return SampleKind::pcm;
  if (formatTag == 3) return SampleKind::ieeeFloat;
  if (formatTag != extensibleFormatTag || subFormat == nullptr) return SampleKind::other;
  // A SubFormat GUID holds the format tag in its first 4 bytes; the other
  // 12 are those of the standard WAVE GUIDs or of the ambisonic B-format
  // ones.
  static constexpr unsigned char waveTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  if (std::memcmp(subFormat + 4, waveTail, 12) != 0 &&
      std::memcmp(subFormat + 4, ambisonicSubFormatTail, 12) != 0) {
    return SampleKind::other;
  }
  const std::uint32_t code = loadUint32Le(subFormat);
  if (code > 0xFFFF) return SampleKind::other;
  return sampleKindOf(static_cast<std::uint16_t>(code), nullptr);
}

ChunkWalk walkChunks(ByteSource& source, bool keepBext) {
  ChunkWalk walk;
  std::array<std::byte, 12> start;
  if (!source.read(start.data(), start.size())) return walk;
  walk.form = waveFormOf(start);
  if (walk.form == WaveForm::other) {
    walk.end = WalkEnd::notWave;
    return walk;
  }

  std::uint64_t offset = start.size();
  bool formatSeen = false;
  bool ds64Seen = false;
  std::optional<std::uint64_t> ds64DataSize;
  for (;;) {
    std::array<std::byte, 8> header;
    if (!source.read(header.data(), header.size())) return walk;
    offset += header.size();
    const std::byte* id = header.data();
    const std::uint32_t size = loadUint32Le(header.data() + 4);
    if (idIs(id, "data")) {
      walk.end = WalkEnd::data;
      walk.dataStart = offset;
      walk.dataLength = declaredDataLength(walk.form, size, ds64DataSize);
      return walk;
    }

    std::size_t taken = 0;  // bytes of the body read here rather than skipped
    if (idIs(id, "fmt ") && !formatSeen) {
      formatSeen = true;
      std::array<std::byte, extensibleFormatLength> body;
      taken = std::min<std::size_t>(size, body.size());
      if (!source.read(body.data(), taken)) return walk;
      if (taken >= plainFormatLength) {
        walk.format = decodeFormat(body.data(), taken);
      } else {
        walk.shortFormat = true;
      }
    } else if (idIs(id, "ds64") && walk.form != WaveForm::riff && !ds64Seen) {
      ds64Seen = true;
      std::array<std::byte, ds64DataSizeEnd> body;
      taken = std::min<std::size_t>(size, body.size());
      if (!source.read(body.data(), taken)) return walk;
      if (taken == body.size()) ds64DataSize = loadUint64Le(body.data() + ds64DataSizeOffset);
    } else if (idIs(id, "bext") && keepBext && !walk.bext && size <= bextLimit) {
      std::vector<std::byte> body(size);
      if (!source.read(body.data(), body.size())) return walk;
      walk.bext = std::move(body);
      taken = size;
    }
    const std::uint64_t padded = std::uint64_t{size} + (size & 1);
    if (!skip(source, padded - taken)) return walk;
    offset += padded;
  }
}

}  // namespace quadrel
