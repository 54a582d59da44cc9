// Building the output header images.
#include "converter/output_header.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

constexpr std::uint32_t sizeFieldLimit = 0xFFFFFFFF;
// Chunk header 8, reserved body 28: ds64 holds the RIFF size, the data size
// and the sample count, 64 bits each, then a table length of 0.
constexpr std::size_t reservedBodyLength = 28;
// fact body: the frame count, 32 bits.
constexpr std::size_t factBodyLength = 4;

std::int32_t wrappingMultiply(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// Appends fields to a header image, recording how each travels.
class HeaderImage {
 public:
  explicit HeaderImage(bool bigEndian) : bigEndian_(bigEndian) {}

  void id(std::string_view text) { put(ItemKind::characters, text.data(), 4); }
  void u16(std::uint16_t value) {
    std::byte image[2];
    storeInt16Le(image, static_cast<std::int16_t>(value));
    if (bigEndian_) reverseNumber(image, 2);
    put(ItemKind::integer2, image, 2);
  }
  void u32(std::uint32_t value) {
    std::byte image[4];
    storeUint32Le(image, value);
    if (bigEndian_) reverseNumber(image, 4);
    put(ItemKind::integer4, image, 4);
  }
  void u64(std::uint64_t value) {
    std::byte image[8];
    storeUint32Le(image, static_cast<std::uint32_t>(value));
    storeUint32Le(image + 4, static_cast<std::uint32_t>(value >> 32));
    put(ItemKind::characters, image, 8);
  }
  void bytes(std::span<const std::byte> body) { put(ItemKind::characters, body.data(), body.size()); }
  void pad(std::size_t length) {
    const std::byte zeros[reservedBodyLength]{};
    put(ItemKind::characters, zeros, length);
  }

  ChunkedHeader take() { return std::move(header_); }

 private:
  void put(ItemKind kind, const void* image, std::size_t length) {
    if (length == 0) return;
    const auto* bytes = static_cast<const std::byte*>(image);
    header_.fields.push_back({kind, header_.image.size(), length});
    header_.image.insert(header_.image.end(), bytes, bytes + length);
  }

  bool bigEndian_;
  ChunkedHeader header_;
};

void putFormat(HeaderImage& out, const OutputFormat& format) {
  const bool extensible = format.extensible();
  out.id("fmt ");
  out.u32(extensible ? extensibleFormatLength : plainFormatLength);
  out.u16(extensible ? extensibleFormatTag : format.formatTag);
  out.u16(4);
  out.u32(format.sampleRate);
  out.u32(format.sampleRate * format.blockAlign);
  out.u16(format.blockAlign);
  out.u16(format.bitsPerSample);
  if (!extensible) return;
  out.u16(extensibleFormatLength - plainFormatLength - 2);  // the extension's size
  out.u16(format.validBits);
  out.u32(0);                 // channel mask: no speaker positions
  out.u32(format.formatTag);  // the SubFormat GUID
  out.bytes(std::as_bytes(std::span(format.ambisonic ? ambisonicSubFormatTail : waveSubFormatTail)));
}

}  // namespace

CanonicalImage buildCanonicalHeader(const InputDescription& wx, const InputDescription& yz,
                                    std::int64_t frames) {
  const FixedHeader& w = *wx.fixed;
  const FixedHeader& y = *yz.fixed;
  const auto blockAlign = static_cast<std::int16_t>(static_cast<std::uint16_t>(2 * yz.format.blockAlign));
  const auto rate = static_cast<std::int32_t>(wx.format.sampleRate);

  CanonicalImage image{};
  std::byte* h = image.data();
  std::memcpy(h, y.riffId.data(), 4);
  storeUint32Le(h + 4, w.riffSize + w.dataLength);
  std::memcpy(h + 8, y.waveFmtId.data(), 8);
  storeUint32Le(h + 16, y.fmtLength);
  storeInt16Le(h + 20, static_cast<std::int16_t>(yz.format.formatTag));
  storeInt16Le(h + 22, 4);
  storeInt32Le(h + 24, rate);
  storeInt32Le(h + 28, wrappingMultiply(rate, blockAlign));
  storeInt16Le(h + 32, blockAlign);
  storeInt16Le(h + 34, static_cast<std::int16_t>(wx.format.bitsPerSample));
  std::memcpy(h + 36, y.dataId.data(), 4);
  storeInt32Le(h + 40, wrappingMultiply(blockAlign, static_cast<std::int32_t>(frames)));
  return image;
}

std::uint64_t ChunkedLayout::length() const {
  std::uint64_t length = 12 + 8 + (format.extensible() ? extensibleFormatLength : plainFormatLength) + 8;
  if (reserved) length += 8 + reservedBodyLength;
  if (fact) length += 8 + factBodyLength;
  if (hasBext) length += 8 + bext.size() + bext.size() % 2;
  if (!ixml.empty()) length += 8 + ixml.size() + ixml.size() % 2;
  return length;
}

ChunkedHeader buildChunkedHeader(const ChunkedLayout& layout, const OutputSizes& sizes) {
  const bool rf64 = layout.reserved && sizes.riffSize > sizeFieldLimit;
  auto field = [rf64](bool known, std::uint64_t size) {
    return rf64 || !known ? sizeFieldLimit
                          : static_cast<std::uint32_t>(std::min<std::uint64_t>(size, sizeFieldLimit));
  };

  HeaderImage out(layout.bigEndian);
  out.id(rf64 ? "RF64" : layout.bigEndian ? "RIFX" : "RIFF");
  out.u32(field(sizes.riffKnown, sizes.riffSize));
  out.id("WAVE");
  if (rf64) {
    out.id("ds64");
    out.u32(reservedBodyLength);
    out.u64(sizes.riffSize);
    out.u64(sizes.dataSize.value_or(0));
    out.u64(sizes.frames);
    out.u32(0);  // no table of other chunk sizes
  } else if (layout.reserved) {
    out.id("JUNK");
    out.u32(reservedBodyLength);
    out.pad(reservedBodyLength);
  }
  if (layout.hasBext) {
    out.id("bext");
    out.u32(static_cast<std::uint32_t>(layout.bext.size()));
    out.bytes(layout.bext);
    out.pad(layout.bext.size() % 2);
  }
  if (!layout.ixml.empty()) {
    out.id("iXML");
    out.u32(static_cast<std::uint32_t>(layout.ixml.size()));
    out.bytes(layout.ixml);
    out.pad(layout.ixml.size() % 2);
  }
  putFormat(out, layout.format);
  if (layout.fact) {
    // RF64 states the count in ds64.
    const bool fits = sizes.dataSize && !rf64 && sizes.frames <= sizeFieldLimit;
    out.id("fact");
    out.u32(factBodyLength);
    out.u32(fits ? static_cast<std::uint32_t>(sizes.frames) : sizeFieldLimit);
  }
  out.id("data");
  out.u32(field(sizes.dataSize.has_value(), sizes.dataSize.value_or(0)));
  return out.take();
}

}  // namespace quadrel
