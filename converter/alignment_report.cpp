// The report of an aligned conversion.
#include "converter/alignment_report.h"

#include <algorithm>
#include <limits>

#include "services/console/output_records.h"

namespace quadrel {
namespace {

constexpr std::uint64_t secondsInADay = 24 * 60 * 60;
constexpr std::uint64_t microsecondsInASecond = 1000000;

// The labels end in column 27 and the numbers take 12 columns, as in the
// summaries.
void writeFramesRecord(std::string_view label, std::int64_t first, std::optional<std::int64_t> second,
                       std::string_view after) {
  if (second) {
    writeValueListRecord({ListValue::string(label), ListValue::int64(first), ListValue::int64(*second),
                          ListValue::string(after)});
  } else {
    writeValueListRecord({ListValue::string(label), ListValue::int64(first), ListValue::string(after)});
  }
}

// `value` in `width` digits, with leading zeros.
std::string digits(std::uint64_t value, std::size_t width) {
  const std::string text = std::to_string(value);
  std::string padded(width - std::min(width, text.size()), '0');
  padded += text;
  return padded;
}

}  // namespace

std::string milliseconds(std::int64_t frames, std::uint32_t rate) {
  if (rate == 0) return "0.000";
  const std::uint64_t magnitude =
      frames < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(frames) : static_cast<std::uint64_t>(frames);
  const std::uint64_t seconds = magnitude / rate;
  // The rest is below 2^32, its product with a million below 2^52.
  const std::uint64_t micro = (magnitude % rate * microsecondsInASecond + rate / 2) / rate;
  const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() / microsecondsInASecond - 1;
  const std::uint64_t total = std::min(seconds, limit) * microsecondsInASecond + micro;
  std::string text(frames < 0 ? "-" : "");
  text += std::to_string(total / 1000);
  text += '.';
  text += digits(total % 1000, 3);
  return text;
}

std::string timeOfDay(std::uint64_t frames, std::uint32_t rate) {
  const std::uint64_t seconds = rate == 0 ? 0 : frames / rate % secondsInADay;
  const std::uint64_t millis = rate == 0 ? 0 : frames % rate * 1000 / rate;
  return digits(seconds / 3600, 2) + ":" + digits(seconds / 60 % 60, 2) + ":" + digits(seconds % 60, 2) +
         "." + digits(millis, 3);
}

void writeAlignmentReport(const AlignmentFacts& facts) {
  const Placement& placement = facts.placement;
  const Span& span = facts.span;
  if (facts.alignment == Alignment::timecode) {
    writeValueListRecord({ListValue::string("Aligned by timecode (bext TimeReference)")});
    const std::string wx =
        "WX starts at             : " + timeOfDay(placement.wxTime.value_or(0), facts.rate);
    const std::string yz =
        "YZ starts at             : " + timeOfDay(placement.yzTime.value_or(0), facts.rate);
    writeValueListRecord({ListValue::string(wx)});
    writeValueListRecord({ListValue::string(yz)});
  } else {
    writeValueListRecord({ListValue::string("Aligned by the offset given (--offset)")});
  }
  const std::string ms = " frames " + milliseconds(placement.yzStart, facts.rate) + " ms";
  writeFramesRecord("YZ starts after WX by    :", placement.yzStart, std::nullopt, ms);
  // Where an input may end the take first, its end is not known ahead.
  const std::int64_t written = span.streamMayEndFirst ? -1 : span.frames.value_or(-1);
  auto leftAtEnd = [&](std::optional<std::int64_t> frames, std::int64_t skip) {
    return span.streamMayEndFirst ? -1 : framesLeftAtEnd(frames, skip, written).value_or(-1);
  };
  writeFramesRecord("Left out of WX start/end :", span.skipWx, leftAtEnd(facts.wxFrames, span.skipWx),
                    " frames");
  writeFramesRecord("Left out of YZ start/end :", span.skipYz, leftAtEnd(facts.yzFrames, span.skipYz),
                    " frames");
  writeFramesRecord("Frames written           :", written, std::nullopt, "");
}

void writeTakeEnd(int ranOut, std::int64_t frames) {
  const std::string_view label = ranOut == 1   ? "Frames written, WX ended :"
                                 : ranOut == 2 ? "Frames written, YZ ended :"
                                               : "Frames written           :";
  writeFramesRecord(label, frames, std::nullopt, "");
}

std::string alignmentHistoryLine(const AlignmentFacts& facts, std::uint16_t bitsPerSample) {
  std::string line = "A=PCM,F=" + std::to_string(facts.rate) + ",W=" + std::to_string(bitsPerSample) +
                     ",T=quadrel " QUADREL_VERSION ": four channels from two recordings aligned ";
  if (facts.alignment == Alignment::timecode) return line + "by timecode";
  return line + "with YZ " + std::to_string(facts.placement.yzStart) + " frames after WX";
}

}  // namespace quadrel
