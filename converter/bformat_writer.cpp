#include "converter/bformat_writer.h"

#include <cstring>
#include <span>

#include "converter/little_endian.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr int wxUnit = 1;
constexpr int yzUnit = 2;
constexpr int outputUnit = 9;

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrappingMultiply(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// The items of one input's half of a frame: how each width travels.
std::span<const ItemKind> frameHalfItems(std::int16_t bitsPerSample) {
  static constexpr ItemKind sixteen[] = {ItemKind::integer4};
  static constexpr ItemKind twentyFour[] = {ItemKind::integer2, ItemKind::integer4};
  static constexpr ItemKind thirtyTwo[] = {ItemKind::real4, ItemKind::real4};
  switch (bitsPerSample) {
    case 16:
      return sixteen;
    case 24:
      return twentyFour;
    case 32:
      return thirtyTwo;
    default:
      return {};
  }
}

}  // namespace

OutputHeader buildOutputHeader(const WaveHeader& header, std::int32_t frames) {
  const SharedHeaderFields& shared = header.shared;
  const auto blockAlign = static_cast<std::int16_t>(static_cast<std::uint16_t>(2 * shared.blockAlign));

  OutputHeader out{};
  std::byte* image = out.image.data();
  std::memcpy(image, shared.riffId.data(), 4);
  storeInt32Le(image + 4, wrappingAdd(header.wx.riffSize, header.wx.dataLength));
  std::memcpy(image + 8, shared.waveFmtId.data(), 8);
  storeInt32Le(image + 16, shared.fmtLength);
  storeInt16Le(image + 20, shared.formatTag);
  storeInt16Le(image + 22, 4);
  storeInt32Le(image + 24, header.wx.samplingRate);
  storeInt32Le(image + 28, wrappingMultiply(header.wx.samplingRate, blockAlign));
  storeInt16Le(image + 32, blockAlign);
  storeInt16Le(image + 34, header.wx.bitsPerSample);
  std::memcpy(image + 36, shared.dataId.data(), 4);
  storeInt32Le(image + 40, wrappingMultiply(blockAlign, frames));
  return out;
}

void writeOutputHeader(const WaveHeader& header, std::int32_t frames) {
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

void interleaveFrames(std::int32_t frames, std::int16_t bitsPerSample) {
  std::span<const ItemKind> half = frameHalfItems(bitsPerSample);
  if (half.empty() || frames <= 0) return;
  transferFrames(wxUnit, yzUnit, outputUnit, half, frames);
}

void copyWxTail() { copyUntilEnd(wxUnit, outputUnit); }

}  // namespace quadrel
