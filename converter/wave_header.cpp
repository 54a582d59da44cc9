// Reading the two input headers group by group and checking them.
#include "converter/wave_header.h"

#include <cstddef>
#include <cstring>
#include <limits>

#include "converter/rejection.h"
#include "services/units/binary_units.h"
#include "services/units/little_endian.h"

namespace quadrel {
namespace {

constexpr int wxUnit = 1;
constexpr int yzUnit = 2;

// Groups A and B: RIFF id, RIFF size, WAVE-fmt id; fmt length, format tag,
// channel count.
void readGroupsAB(int unit, SharedHeaderFields& shared, InputHeaderFields& input) {
  std::byte a[groupALength];
  const TransferItem groupA[] = {TransferItem::characters(a, 4), TransferItem::integer4(a + 4),
                                 TransferItem::characters(a + 8, 8)};
  readStatement(unit, groupA);
  decodeGroupA(a, shared, input);

  std::byte b[groupBLength];
  const TransferItem groupB[] = {TransferItem::integer4(b), TransferItem::integer2(b + 4),
                                 TransferItem::integer2(b + 6)};
  readStatement(unit, groupB);
  decodeGroupB(b, shared, input);
}

// Group C: sampling rate, byte rate.
void readGroupC(int unit, InputHeaderFields& input) {
  std::byte c[groupCLength];
  const TransferItem groupC[] = {TransferItem::integer4(c), TransferItem::integer4(c + 4)};
  readStatement(unit, groupC);
  decodeGroupC(c, input);
}

// Group D: block align, bits per sample, data id, data length.
void readGroupD(int unit, SharedHeaderFields& shared, InputHeaderFields& input) {
  std::byte d[groupDLength];
  const TransferItem groupD[] = {TransferItem::integer2(d), TransferItem::integer2(d + 2),
                                 TransferItem::characters(d + 4, 4), TransferItem::integer4(d + 8)};
  readStatement(unit, groupD);
  decodeGroupD(d, shared, input);
}

void rejectIf(std::optional<std::string_view> failure) {
  if (failure) rejectInputPair(*failure);
}

std::int32_t frameCountOrReject(std::int32_t dataLength, std::int16_t blockAlign) {
  std::optional<std::int32_t> frames = frameCount(dataLength, blockAlign);
  if (!frames) rejectInputPair("ERROR - Invalid block align");
  return *frames;
}

}  // namespace

void decodeGroupA(const std::byte* image, SharedHeaderFields& shared, InputHeaderFields& input) {
  std::memcpy(shared.riffId.data(), image, 4);
  input.riffSize = loadInt32Le(image + 4);
  std::memcpy(shared.waveFmtId.data(), image + 8, 8);
}

void decodeGroupB(const std::byte* image, SharedHeaderFields& shared, InputHeaderFields& input) {
  shared.fmtLength = loadInt32Le(image);
  shared.formatTag = loadInt16Le(image + 4);
  input.channelCount = loadInt16Le(image + 6);
}

void decodeGroupC(const std::byte* image, InputHeaderFields& input) {
  input.samplingRate = loadInt32Le(image);
  input.byteRate = loadInt32Le(image + 4);
}

void decodeGroupD(const std::byte* image, SharedHeaderFields& shared, InputHeaderFields& input) {
  shared.blockAlign = loadInt16Le(image);
  input.bitsPerSample = loadInt16Le(image + 2);
  std::memcpy(shared.dataId.data(), image + 4, 4);
  input.dataLength = loadInt32Le(image + 8);
}

std::optional<std::int32_t> frameCount(std::int32_t dataLength, std::int16_t blockAlign) {
  if (blockAlign == 0) return std::nullopt;
  if (blockAlign == -1 && dataLength == std::numeric_limits<std::int32_t>::min()) return std::nullopt;
  return dataLength / blockAlign;
}

std::optional<std::string_view> checkWxStereo(const InputHeaderFields& wx) {
  if (wx.channelCount != 2) return "ERROR - The input files must be stereo";
  return std::nullopt;
}

std::optional<std::string_view> compareAfterGroupC(const InputHeaderFields& wx, const InputHeaderFields& yz) {
  if (yz.channelCount != wx.channelCount) return "ERROR - Nchannels mismatch";
  if (yz.samplingRate != wx.samplingRate) return "ERROR - Fsampling mismatch";
  if (yz.byteRate != wx.byteRate) return "ERROR - Byterate mismatch";
  return std::nullopt;
}

std::optional<std::string_view> compareAfterGroupD(const InputHeaderFields& wx, const InputHeaderFields& yz) {
  if (yz.dataLength != wx.dataLength) return "ERROR - Lenght mismatch";
  if (yz.bitsPerSample != wx.bitsPerSample) return "ERROR - Bit resolution mismatch";
  return std::nullopt;
}

std::int32_t readWxHeader(WaveHeader& header) {
  readGroupsAB(wxUnit, header.shared, header.wx);
  rejectIf(checkWxStereo(header.wx));
  readGroupC(wxUnit, header.wx);
  readGroupD(wxUnit, header.shared, header.wx);
  return frameCountOrReject(header.wx.dataLength, header.shared.blockAlign);
}

std::int32_t readAndCompareYzHeader(WaveHeader& header) {
  readGroupsAB(yzUnit, header.shared, header.yz);
  readGroupC(yzUnit, header.yz);
  rejectIf(compareAfterGroupC(header.wx, header.yz));
  readGroupD(yzUnit, header.shared, header.yz);
  rejectIf(compareAfterGroupD(header.wx, header.yz));
  return frameCountOrReject(header.wx.dataLength, header.shared.blockAlign);
}

}  // namespace quadrel
