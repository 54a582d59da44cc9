// The timeline of two recordings.
#include "converter/timeline.h"

#include <algorithm>
#include <limits>

namespace quadrel {
namespace {

constexpr std::uint64_t secondsInADay = 24 * 60 * 60;
constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();

}  // namespace

std::variant<Placement, TimelineRefusal> placeByTimecode(std::optional<std::uint64_t> wxTimeReference,
                                                         std::optional<std::uint64_t> yzTimeReference,
                                                         std::uint32_t rate) {
  if (!wxTimeReference) return TimelineRefusal::noWxBext;
  if (!yzTimeReference) return TimelineRefusal::noYzBext;
  Placement placement;
  std::uint64_t wx = *wxTimeReference;
  std::uint64_t yz = *yzTimeReference;
  if (wx == 0 && yz == 0) return TimelineRefusal::noTimecode;
  const std::uint64_t day = secondsInADay * rate;
  const std::uint64_t apart = wx > yz ? wx - yz : yz - wx;
  if (day != 0 && apart > day / 2) {
    std::uint64_t& smaller = wx < yz ? wx : yz;
    if (smaller <= std::numeric_limits<std::uint64_t>::max() - day) {
      smaller += day;
      placement.dayFrames = day;
    }
  }
  // Starts further apart than any file is long cannot overlap.
  const std::uint64_t distance = wx > yz ? wx - yz : yz - wx;
  if (distance > static_cast<std::uint64_t>(largest)) return TimelineRefusal::noOverlap;
  placement.yzStart = yz >= wx ? static_cast<std::int64_t>(distance) : -static_cast<std::int64_t>(distance);
  placement.wxTime = wx;
  placement.yzTime = yz;
  return placement;
}

Placement placeByOffset(std::int64_t offset) { return {offset, std::nullopt, std::nullopt, 0}; }

std::variant<Span, TimelineRefusal> spanOf(const Placement& placement, std::optional<std::int64_t> wxFrames,
                                           std::optional<std::int64_t> yzFrames) {
  const std::int64_t offset = placement.yzStart;
  Span span;
  span.skipWx = std::max<std::int64_t>(offset, 0);
  // Negating the smallest count would overflow; no file is that long.
  span.skipYz = offset < 0 ? (offset == std::numeric_limits<std::int64_t>::min() ? largest : -offset) : 0;
  // Each file's end, on the WX file's count, where known.
  std::optional<std::int64_t> end;
  if (wxFrames) end = std::max<std::int64_t>(*wxFrames, 0);
  if (yzFrames) {
    const std::int64_t yzFrameCount = std::max<std::int64_t>(*yzFrames, 0);
    const std::int64_t yzEnd = offset > largest - yzFrameCount ? largest : yzFrameCount + offset;
    end = end ? std::min(*end, yzEnd) : yzEnd;
  }
  span.streamMayEndFirst = !wxFrames || !yzFrames;
  if (end) {
    if (*end <= span.skipWx) return TimelineRefusal::noOverlap;
    span.frames = *end - span.skipWx;
  }
  return span;
}

std::optional<std::int64_t> framesLeftAtEnd(std::optional<std::int64_t> frames, std::int64_t skip,
                                            std::int64_t written) {
  if (!frames) return std::nullopt;
  return std::max<std::int64_t>(*frames - skip - written, 0);
}

std::uint64_t firstFrameTimeReference(std::uint64_t timeReference, std::int64_t skip,
                                      const Placement& placement) {
  std::uint64_t time = timeReference + static_cast<std::uint64_t>(skip);
  if (placement.dayFrames != 0 && time >= placement.dayFrames) time -= placement.dayFrames;
  return time;
}

}  // namespace quadrel
