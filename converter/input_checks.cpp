// The checks on the two inputs. Fields are compared as the signed values
// of their widths in the header, as they have always been.
#include "converter/input_checks.h"

#include <algorithm>
#include <limits>

#include "converter/ambix_frames.h"

namespace quadrel {

std::optional<std::int64_t> frameCount(std::uint64_t dataLength, std::int16_t blockAlign) {
  if (blockAlign == 0) return std::nullopt;
  const std::uint64_t divisor = blockAlign < 0 ? -blockAlign : blockAlign;
  const std::uint64_t magnitude =
      std::min<std::uint64_t>(dataLength / divisor, std::numeric_limits<std::int64_t>::max());
  const auto frames = static_cast<std::int64_t>(magnitude);
  return blockAlign < 0 ? -frames : frames;
}

Rejection checkWxStereo(const FormatFields& wx) {
  if (wx.channels != 2) return "ERROR - The input files must be stereo";
  return std::nullopt;
}

Rejection compareFormats(const FormatFields& wx, const FormatFields& yz) {
  if (yz.channels != wx.channels) return "ERROR - Nchannels mismatch";
  if (yz.sampleRate != wx.sampleRate) return "ERROR - Fsampling mismatch";
  if (yz.byteRate != wx.byteRate) return "ERROR - Byterate mismatch";
  return std::nullopt;
}

Rejection compareLengthsAndBits(const InputDescription& wx, const InputDescription& yz, bool aligned) {
  if (!aligned && wx.dataLength && yz.dataLength && *yz.dataLength != *wx.dataLength) {
    return "ERROR - Lenght mismatch";
  }
  if (yz.format.bitsPerSample != wx.format.bitsPerSample) return "ERROR - Bit resolution mismatch";
  return std::nullopt;
}

Rejection checkParsedFormat(const ParsedWave& parsed) {
  if (parsed.format) return std::nullopt;
  return parsed.shortFormat ? "ERROR - Invalid fmt chunk" : "ERROR - Missing fmt chunk";
}

Rejection checkSampleKind(const InputDescription& input) {
  if (input.form == InputForm::walked && input.format.kind == SampleKind::other) {
    return "ERROR - Unsupported sample format";
  }
  return std::nullopt;
}

Rejection checkSampleWidth(const InputDescription& input) {
  const int bits = static_cast<std::int16_t>(input.format.bitsPerSample);
  const int channels = static_cast<std::int16_t>(input.format.channels);
  const int blockAlign = static_cast<std::int16_t>(input.format.blockAlign);
  if (bits <= 0 || blockAlign != channels * ((bits + 7) / 8)) return "ERROR - Unsupported sample width";
  return std::nullopt;
}

Rejection checkBlockAlign(std::uint16_t blockAlign) {
  if (blockAlign == 0) return "ERROR - Invalid block align";
  return std::nullopt;
}

Rejection checkAmbixName(bool ambix, bool namedAmb) {
  if (ambix && namedAmb) return "ERROR - An AmbiX output cannot be named .amb";
  return std::nullopt;
}

Rejection checkAmbixSamples(const InputDescription& wx, const InputDescription& yz) {
  if (wx.format.kind != yz.format.kind || wx.format.kind == SampleKind::other || wx.bigEndian ||
      yz.bigEndian) {
    return "ERROR - Unsupported sample format";
  }
  if (!ambixFramesOf(wx.format)) return "ERROR - Unsupported sample width";
  return std::nullopt;
}

Rejection checkTimeline(TimelineRefusal refusal) {
  switch (refusal) {
    case TimelineRefusal::noWxBext:
      return "ERROR - WX has no bext TimeReference to align by; try --offset=N";
    case TimelineRefusal::noYzBext:
      return "ERROR - YZ has no bext TimeReference to align by; try --offset=N";
    case TimelineRefusal::noTimecode:
      return "ERROR - Both TimeReferences are 0, no timecode; try --offset=N";
    case TimelineRefusal::noOverlap:
      break;
  }
  return "ERROR - The two files do not overlap in time";
}

}  // namespace quadrel
