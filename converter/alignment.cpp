// Aligning the two inputs of a conversion.
#include "converter/alignment.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "converter/ambix_frames.h"
#include "converter/bext_edit.h"
#include "converter/rejection.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

[[noreturn]] void refuse(TimelineRefusal refusal) { rejectInputPair(*checkTimeline(refusal)); }

std::optional<std::uint64_t> timeReferenceOf(const InputDescription& input) {
  return input.bext ? bextTimeReference(*input.bext) : std::nullopt;
}

}  // namespace

AlignmentFacts alignInputs(Alignment alignment, std::int64_t offset, const InputDescription& wx,
                           Frames wxFrames, const InputDescription& yz) {
  AlignmentFacts facts;
  facts.alignment = alignment;
  facts.rate = wx.format.sampleRate;
  facts.wxFrames = wxFrames;
  facts.yzFrames = yz.dataLength ? frameCount(*yz.dataLength, static_cast<std::int16_t>(yz.format.blockAlign))
                                 : std::nullopt;
  if (alignment == Alignment::timecode) {
    const auto placed = placeByTimecode(timeReferenceOf(wx), timeReferenceOf(yz), facts.rate);
    if (const TimelineRefusal* refusal = std::get_if<TimelineRefusal>(&placed)) refuse(*refusal);
    facts.placement = std::get<Placement>(placed);
  } else {
    facts.placement = placeByOffset(offset);
  }
  const auto span = spanOf(facts.placement, facts.wxFrames, facts.yzFrames);
  if (const TimelineRefusal* refusal = std::get_if<TimelineRefusal>(&span)) refuse(*refusal);
  facts.span = std::get<Span>(span);
  return facts;
}

std::optional<std::vector<std::byte>> alignedBext(const AlignmentFacts& facts, const InputDescription& wx,
                                                  const InputDescription& yz, bool ambix) {
  const bool fromWx = wx.bext.has_value();
  const std::optional<std::vector<std::byte>>& bext = fromWx ? wx.bext : yz.bext;
  if (!bext) return std::nullopt;
  const std::int64_t skip = fromWx ? facts.span.skipWx : facts.span.skipYz;
  // The output's sample width: the inputs', or AmbiX's floats.
  const std::optional<AmbixFrames> ambixFrames = ambix ? ambixFramesOf(wx.format) : std::nullopt;
  const int channels = std::max<int>(yz.format.channels, 1);
  const auto bits = static_cast<std::uint16_t>(ambixFrames ? 8 * ambixFrames->sampleBytes
                                                           : 8 * (yz.format.blockAlign / channels));
  const std::string line = alignmentHistoryLine(facts, bits);
  const std::uint64_t time =
      firstFrameTimeReference(bextTimeReference(*bext).value_or(0), skip, facts.placement);
  return editBext(*bext, {time, line});
}

TakeSpan takeSpan(const AlignmentFacts& facts) {
  return {facts.span.skipWx, !facts.wxFrames, !facts.yzFrames};
}

void skipLeadingFrames(const ConversionFiles& files, const AlignmentFacts& facts, std::size_t halfLength) {
  const std::pair<int, std::int64_t> skips[] = {{files.wx, facts.span.skipWx}, {files.yz, facts.span.skipYz}};
  for (const auto& [unit, frames] : skips) {
    if (!skipInput(unit, static_cast<std::uint64_t>(frames) * halfLength)) refuse(TimelineRefusal::noOverlap);
  }
}

}  // namespace quadrel
