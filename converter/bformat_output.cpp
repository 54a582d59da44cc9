// Planning the output, writing its header, and stating the real sizes at
// the end.
#include "converter/bformat_output.h"

#include <limits>
#include <vector>

#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr int wxUnit = 1;
constexpr int outputUnit = 9;
constexpr std::uint64_t sizeFieldLimit = 0xFFFFFFFF;

// Sums and products of sizes stop at the largest value instead of wrapping:
// a header that claims more than the file holds, from a pipe, must not turn
// into a small size.
std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  std::uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<std::uint64_t>::max() : sum;
}

std::uint64_t saturatingMultiply(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max() : product;
}

// Whether the pair keeps the 44-byte header: two inputs read at the fixed
// positions with the lengths they declare, an output that is not labelled
// B-format, and sizes that the header's 32-bit arithmetic holds without
// wrapping.
bool keepsCanonicalHeader(const WaveHeader& header, std::optional<std::uint64_t> dataSize, bool ambisonic) {
  if (ambisonic || !dataSize) return false;
  for (const InputLayout* layout : {&header.wxLayout, &header.yzLayout}) {
    if (layout->walked || layout->lengthFromTheEnd) return false;
  }
  const std::uint64_t riffSize = std::uint64_t{static_cast<std::uint32_t>(header.wx.riffSize)} +
                                 static_cast<std::uint32_t>(header.wx.dataLength);
  return riffSize <= sizeFieldLimit && 36 + *dataSize <= sizeFieldLimit;
}

// Today's header in four write requests, one per header group.
void writeCanonicalHeader(const WaveHeader& header, std::int64_t frames) {
  OutputHeader out = buildOutputHeader(header, frames);
  std::byte* h = out.image.data();
  const TransferItem groupA[] = {TransferItem::characters(h, 4), TransferItem::integer4(h + 4),
                                 TransferItem::characters(h + 8, 8)};
  const TransferItem groupB[] = {TransferItem::integer4(h + 16), TransferItem::integer2(h + 20),
                                 TransferItem::integer2(h + 22)};
  const TransferItem groupC[] = {TransferItem::integer4(h + 24), TransferItem::integer4(h + 28)};
  const TransferItem groupD[] = {TransferItem::integer2(h + 32), TransferItem::integer2(h + 34),
                                 TransferItem::characters(h + 36, 4), TransferItem::integer4(h + 40)};
  writeStatement(outputUnit, groupA);
  writeStatement(outputUnit, groupB);
  writeStatement(outputUnit, groupC);
  writeStatement(outputUnit, groupD);
}

// A chunked header's fields as the items of one request.
std::vector<TransferItem> headerItems(ChunkedHeader& header) {
  std::vector<TransferItem> items;
  items.reserve(header.fields.size());
  for (const HeaderField& field : header.fields)
    items.push_back({field.kind, header.image.data() + field.offset, field.length});
  return items;
}

}  // namespace

BFormatOutput::BFormatOutput(const WaveHeader& header, Frames frames, bool ambisonic)
    : header_(header),
      frames_(frames),
      half_(frameHalf(header.wx.bitsPerSample, header.shared.blockAlign)),
      outputBlockAlign_(static_cast<std::uint16_t>(2 * header.shared.blockAlign)) {
  const std::optional<std::uint64_t> dataSize =
      frames ? std::optional(saturatingMultiply(outputBlockAlign_, static_cast<std::uint64_t>(*frames)))
             : std::nullopt;
  canonical_ = keepsCanonicalHeader(header, dataSize, ambisonic);
  if (canonical_) return;

  layout_.format = {static_cast<std::uint16_t>(header.shared.formatTag),
                    static_cast<std::uint32_t>(header.wx.samplingRate),
                    static_cast<std::uint16_t>(outputBlockAlign_),
                    static_cast<std::uint16_t>(header.wx.bitsPerSample), ambisonic};
  if (header.wxLayout.bext) {
    layout_.hasBext = true;
    layout_.bext = *header.wxLayout.bext;
  }

  // A walked WX file's tail is its chunks after the data chunk and its pad
  // byte; leftover sample bytes are not audio of the output.
  const InputLayout& wx = header.wxLayout;
  if (wx.walked && wx.dataEnd) tailStart_ = *wx.dataEnd - wx.dataStart;
  const std::uint64_t framesBytes =
      saturatingMultiply(outputBlockAlign_ / 2, static_cast<std::uint64_t>(frames.value_or(0)));
  const std::uint64_t tailFrom = tailStart_.value_or(framesBytes);
  // Without a frame count the WX data runs to the end of a pipe, and nothing
  // follows it; a regular WX file tells its tail by its size.
  std::optional<std::uint64_t> tail;
  if (!frames) {
    tail = 0;
  } else if (const std::optional<std::uint64_t> left = bytesLeftInUnit(wxUnit)) {
    tail = *left > tailFrom ? *left - tailFrom : 0;
  }

  OutputSizes sizes;
  sizes.dataSize = dataSize;
  sizes.frames = static_cast<std::uint64_t>(frames.value_or(0));
  sizes.riffKnown = dataSize && tail;
  // The least the RIFF size can be, with the header as laid out so far.
  auto riffSize = [&] {
    return saturatingAdd(layout_.length() - 8, saturatingAdd(dataSize.value_or(0), tail.value_or(0)));
  };
  layout_.reserved = !sizes.riffKnown || riffSize() > sizeFieldLimit;
  sizes.riffSize = riffSize();
  written_ = buildChunkedHeader(layout_, sizes);
}

void BFormatOutput::writeHeader() {
  if (canonical_) {
    writeCanonicalHeader(header_, *frames_);
    return;
  }
  const std::vector<TransferItem> items = headerItems(written_);
  writeStatement(outputUnit, items);
}

void BFormatOutput::writeFramesAndTail() {
  const InputLayout& yz = header_.yzLayout;
  const Frames yzFrames = yz.dataLength ? frameCount(*yz.dataLength, yz.blockAlign) : std::nullopt;
  const std::int64_t frames =
      interleaveFrames({frames_, yzFrames}, half_.items(), [this](std::int64_t done) { settleHeader(done); });
  if (tailStart_) {
    const std::uint64_t framesBytes = static_cast<std::uint64_t>(frames) * (outputBlockAlign_ / 2);
    if (*tailStart_ > framesBytes) skipWxBytes(*tailStart_ - framesBytes);
  }
  copyWxTail();
  settleHeader(frames);
}

// Only a regular file can take its header again; the header of a pipe stays
// as first written.
void BFormatOutput::settleHeader(std::int64_t frames) {
  if (canonical_) return;
  const std::optional<std::uint64_t> written = writtenLength(outputUnit);
  if (!written) return;
  OutputSizes sizes;
  sizes.riffSize = *written - 8;
  sizes.dataSize = outputBlockAlign_ * static_cast<std::uint64_t>(frames);
  sizes.frames = static_cast<std::uint64_t>(frames);
  ChunkedHeader settled = buildChunkedHeader(layout_, sizes);
  if (settled.image == written_.image) return;
  const std::vector<TransferItem> items = headerItems(settled);
  writeStatementAt(outputUnit, 0, items);
  written_ = std::move(settled);
}

}  // namespace quadrel
