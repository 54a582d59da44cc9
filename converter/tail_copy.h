// What follows the frames in the output: every WX byte after the last
// frame for the canonical output, the WX file's whole chunks after its data
// for a chunked one.
#pragma once

#include <cstdint>
#include <optional>

#include "converter/conversion_files.h"
#include "converter/output_plan.h"

namespace quadrel {

// Writes the tail of `plan` behind `frames` converted frames. Returns where
// the output must end when a chunk was cut off by the end of a stream, or
// of a WX file cut shorter during the run: the output's length before that
// chunk, on a regular file; nothing otherwise.
std::optional<std::uint64_t> writeTail(const ConversionFiles& files, const OutputPlan& plan,
                                       std::int64_t frames);

}  // namespace quadrel
