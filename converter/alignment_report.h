// What an aligned conversion tells the user: console records after the two
// summaries that show how the files were placed and what was left out, and
// the CodingHistory line of the output's bext chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "converter/run_options.h"
#include "converter/timeline.h"

namespace quadrel {

// `frames` at `rate` frames a second as milliseconds with three decimals,
// rounded to the nearest microsecond: "-1500.000".
std::string milliseconds(std::int64_t frames, std::uint32_t rate);

// `frames` from midnight at `rate` as the time of day "hh:mm:ss.mmm", the
// milliseconds cut, the days dropped.
std::string timeOfDay(std::uint64_t frames, std::uint32_t rate);

struct AlignmentFacts {
  Alignment alignment = Alignment::timecode;
  std::uint32_t rate = 0;
  Placement placement;
  Span span;
  std::optional<std::int64_t> wxFrames;  // each file's frames, where known
  std::optional<std::int64_t> yzFrames;
};

// Writes the records: how the files were aligned; under timecode each
// start as a time of day; where YZ starts against WX in frames and
// milliseconds; per file the frames left out at its start and at its end;
// the frames written. A number not known ahead (a stream's) shows as -1.
void writeAlignmentReport(const AlignmentFacts& facts);

// Writes the frames written, once they are known, where an input of unknown
// length could end the take first; `ranOut` is the input (1 WX, 2 YZ) that
// did, or 0.
void writeTakeEnd(int ranOut, std::int64_t frames);

// The output's CodingHistory line in the syntax of EBU R 98: coding, rate,
// word length, and a text saying how the two recordings were put together.
std::string alignmentHistoryLine(const AlignmentFacts& facts, std::uint16_t bitsPerSample);

}  // namespace quadrel
