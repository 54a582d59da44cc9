// Each sample assembled byte by byte in the order given, so that the host's
// own byte order never matters.
#include "converter/sample_decoding.h"

#include <bit>
#include <cstdint>

namespace quadrel {
namespace {

std::uint64_t assemble(const std::byte* at, std::size_t width, bool bigEndian) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::size_t from = bigEndian ? i : width - 1 - i;
    bits = (bits << 8) | std::to_integer<std::uint64_t>(at[from]);
  }
  return bits;
}

float sampleAt(const std::byte* at, const FormatFields& format, bool bigEndian) {
  const std::size_t width = format.bitsPerSample / 8;
  const std::uint64_t bits = assemble(at, width, bigEndian);
  if (format.kind == SampleKind::ieeeFloat) {
    return width == 4 ? std::bit_cast<float>(static_cast<std::uint32_t>(bits))
                      : static_cast<float>(std::bit_cast<double>(bits));
  }
  if (width == 1) return (static_cast<float>(bits) - 128.0f) / 128.0f;
  // Sign-extended from the container's top bit.
  const unsigned shift = static_cast<unsigned>(64 - 8 * width);
  const std::int64_t value = static_cast<std::int64_t>(bits << shift) >> shift;
  return static_cast<float>(static_cast<double>(value) /
                            static_cast<double>(std::uint64_t{1} << (8 * width - 1)));
}

}  // namespace

bool decodeStereo(std::span<const std::byte> bytes, const FormatFields& format, bool bigEndian,
                  std::vector<float>& left, std::vector<float>& right) {
  const std::uint16_t bits = format.bitsPerSample;
  const bool known = format.kind == SampleKind::pcm ? bits == 8 || bits == 16 || bits == 24 || bits == 32
                     : format.kind == SampleKind::ieeeFloat ? bits == 32 || bits == 64
                                                            : false;
  if (!known || format.channels != 2 || format.blockAlign != 2 * (bits / 8)) return false;
  const std::size_t width = bits / 8;
  for (std::size_t at = 0; at + 2 * width <= bytes.size(); at += 2 * width) {
    left.push_back(sampleAt(&bytes[at], format, bigEndian));
    right.push_back(sampleAt(&bytes[at + width], format, bigEndian));
  }
  return true;
}

}  // namespace quadrel
