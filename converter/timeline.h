// The two recordings on one timeline: where each file's first frame sits,
// and the span of frames that both cover, which is what the output holds.
//
// Frames are counted at the files' common sampling rate. A file's place is
// its bext TimeReference (the frames from midnight to its first frame), or
// an offset given for the YZ file against the WX file. Pure functions of
// values: nothing here reads or writes a file.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>

namespace quadrel {

enum class TimelineRefusal : std::uint8_t {
  noWxBext,    // --align, and the WX file has no TimeReference to go by
  noYzBext,    // the same for the YZ file
  noTimecode,  // both TimeReferences are 0: recorders without timecode
  noOverlap,   // no frame is covered by both files
};

// Where the YZ file's first frame sits against the WX file's.
struct Placement {
  std::int64_t yzStart = 0;  // in frames; negative when YZ starts first
  // By timecode: each start in frames from the midnight before the earlier
  // one (so a start after the next midnight counts past a day).
  std::optional<std::uint64_t> wxTime;
  std::optional<std::uint64_t> yzTime;
  std::uint64_t dayFrames = 0;  // frames in a day, when a start was taken as the next day's
};

// By the two TimeReferences (nothing: the file has no bext) at `rate`
// frames a second. Starts more than 12 hours apart are taken as a take over
// midnight: the smaller count is the next day's.
std::variant<Placement, TimelineRefusal> placeByTimecode(std::optional<std::uint64_t> wxTimeReference,
                                                         std::optional<std::uint64_t> yzTimeReference,
                                                         std::uint32_t rate);

// YZ's first frame `offset` frames after WX's (before it when negative).
Placement placeByOffset(std::int64_t offset);

// The frames both files cover, from the later start to the earlier end.
struct Span {
  std::int64_t skipWx = 0;  // frames of each file before the span
  std::int64_t skipYz = 0;
  // The frames written; where a file's length is not known ahead (a
  // stream), the most that can be written, or nothing when neither length
  // is known. The output then ends where the first input ends.
  std::optional<std::int64_t> frames;
  bool streamMayEndFirst = false;  // a file of unknown length may end the span sooner
};

// The span of files of `wxFrames` and `yzFrames` frames (nothing: not
// known ahead) placed as `placement` says; refused when they cannot
// overlap.
std::variant<Span, TimelineRefusal> spanOf(const Placement& placement, std::optional<std::int64_t> wxFrames,
                                           std::optional<std::int64_t> yzFrames);

// The frames of a file of `frames` frames (nothing: not known) left out at
// its end when `skip` frames were left out at its start and `written`
// frames were taken; nothing when not known.
std::optional<std::int64_t> framesLeftAtEnd(std::optional<std::int64_t> frames, std::int64_t skip,
                                            std::int64_t written);

// The TimeReference of the first frame written, for a bext taken from a file
// whose own TimeReference is `timeReference` and whose first `skip` frames
// were left out; within the day of `placement` when a start was taken as
// the next day's.
std::uint64_t firstFrameTimeReference(std::uint64_t timeReference, std::int64_t skip,
                                      const Placement& placement);

}  // namespace quadrel
