// Decoding the header groups, and the checks on the two inputs.
#include "converter/wave_header.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "services/units/little_endian.h"

namespace quadrel {

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

std::optional<std::int64_t> frameCount(std::uint64_t dataLength, std::int16_t blockAlign) {
  if (blockAlign == 0) return std::nullopt;
  const std::uint64_t divisor = blockAlign < 0 ? -blockAlign : blockAlign;
  const std::uint64_t magnitude =
      std::min<std::uint64_t>(dataLength / divisor, std::numeric_limits<std::int64_t>::max());
  const auto frames = static_cast<std::int64_t>(magnitude);
  return blockAlign < 0 ? -frames : frames;
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

std::optional<std::string_view> compareAfterGroupD(const InputHeaderFields& wx, const InputLayout& wxLayout,
                                                   const InputHeaderFields& yz, const InputLayout& yzLayout) {
  if (wxLayout.dataLength && yzLayout.dataLength && *yzLayout.dataLength != *wxLayout.dataLength) {
    return "ERROR - Lenght mismatch";
  }
  if (yz.bitsPerSample != wx.bitsPerSample) return "ERROR - Bit resolution mismatch";
  return std::nullopt;
}

std::optional<std::string_view> checkWalkedFormat(const ChunkWalk& walk) {
  if (walk.format) return std::nullopt;
  return walk.shortFormat ? "ERROR - Invalid fmt chunk" : "ERROR - Missing fmt chunk";
}

std::optional<std::string_view> checkSampleKind(const InputLayout& layout) {
  if (layout.walked && layout.sampleKind == SampleKind::other) return "ERROR - Unsupported sample format";
  return std::nullopt;
}

std::optional<std::string_view> checkSampleWidth(const InputHeaderFields& input, const InputLayout& layout) {
  const int bits = input.bitsPerSample;
  if (bits <= 0 || layout.blockAlign != input.channelCount * ((bits + 7) / 8)) {
    return "ERROR - Unsupported sample width";
  }
  return std::nullopt;
}

}  // namespace quadrel
