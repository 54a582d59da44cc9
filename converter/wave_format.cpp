// The fmt chunk's fields and the forms of a WAVE file.
#include "converter/wave_format.h"

#include <algorithm>
#include <utility>

#include <cstring>
#include <string_view>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

// fmt body: tag 0, channels 2, rate 4, byte rate 8, block align 12, bits
// 14; for WAVE_FORMAT_EXTENSIBLE also extension size 16, valid bits 18,
// channel mask 20 and the SubFormat GUID at 24 to 39.
constexpr std::size_t validBitsOffset = 18;
constexpr std::size_t subFormatOffset = 24;

constexpr std::uint32_t placeholderDataSize = 0x7FFFF000;

}  // namespace

bool hasId(const std::byte* at, std::string_view id) { return std::memcmp(at, id.data(), 4) == 0; }

WaveForm waveFormOf(std::span<const std::byte, 12> start) {
  if (!hasId(start.data() + 8, "WAVE")) return WaveForm::other;
  if (hasId(start.data(), "RIFF")) return WaveForm::riff;
  if (hasId(start.data(), "RF64")) return WaveForm::rf64;
  if (hasId(start.data(), "BW64")) return WaveForm::bw64;
  return WaveForm::other;
}

SampleKind sampleKindOf(std::uint16_t formatTag, const std::byte* subFormat) {
  if (formatTag == 1) return SampleKind::pcm;
  if (formatTag == 3) return SampleKind::ieeeFloat;
  if (formatTag != extensibleFormatTag || subFormat == nullptr) return SampleKind::other;
  if (std::memcmp(subFormat + 4, waveSubFormatTail, 12) != 0 &&
      std::memcmp(subFormat + 4, ambisonicSubFormatTail, 12) != 0) {
    return SampleKind::other;
  }
  const std::uint32_t code = loadUint32Le(subFormat);
  if (code > 0xFFFF) return SampleKind::other;
  return sampleKindOf(static_cast<std::uint16_t>(code), nullptr);
}

FormatFields decodeFormat(const std::byte* body, std::size_t length) {
  FormatFields format;
  format.formatTag = loadUint16Le(body);
  format.channels = loadUint16Le(body + 2);
  format.sampleRate = loadUint32Le(body + 4);
  format.byteRate = loadUint32Le(body + 8);
  format.blockAlign = loadUint16Le(body + 12);
  format.bitsPerSample = loadUint16Le(body + 14);
  const bool extended = format.formatTag == extensibleFormatTag && length >= extensibleFormatLength;
  format.kind = sampleKindOf(format.formatTag, extended ? body + subFormatOffset : nullptr);
  format.validBits = format.bitsPerSample;
  if (extended) {
    const std::uint16_t valid = loadUint16Le(body + validBitsOffset);
    if (valid > 0 && valid < format.bitsPerSample) format.validBits = valid;
  }
  return format;
}

void reverseNumber(std::byte* at, std::size_t width) { std::reverse(at, at + width); }

void reverseFormatNumbers(std::byte* body, std::size_t length) {
  // Offset and width of each field: tag, channels, rate, byte rate, block
  // align, bits, extension size, valid bits, channel mask, the GUID's three
  // numbers.
  constexpr std::pair<std::size_t, std::size_t> fields[] = {
      {0, 2}, {2, 2}, {4, 4}, {8, 4}, {12, 2}, {14, 2}, {16, 2}, {18, 2}, {20, 4}, {24, 4}, {28, 2}, {30, 2}};
  for (const auto& [offset, width] : fields)
    if (offset + width <= length) reverseNumber(body + offset, width);
}

bool isStreamingPlaceholder(std::uint32_t dataSize, std::uint32_t riffSize, std::uint64_t dataStart,
                            std::uint16_t blockAlign) {
  if (blockAlign == 0 || dataSize != placeholderDataSize / blockAlign * blockAlign) return false;
  return dataStart >= 8 && riffSize == dataStart - 8 + dataSize;
}

}  // namespace quadrel
