// The header of the four-channel output on unit 9: written as planned
// before the frames, and settled with the real sizes at the end.
#pragma once

#include <cstdint>
#include <optional>

#include "converter/output_plan.h"

namespace quadrel {

// Writes the planned header: the canonical one in four requests, one per
// header group, or the chunked one in one request.
void writeOutputHeader(const OutputPlan& plan);

// States the real sizes in a chunked header when the output is a regular
// file: `frames` converted, and the output cut at `cutTo` when given. The
// header goes in one write over the first one, and only when a size
// differs. The canonical header, and the header of a pipe or a device,
// stay as first written.
void settleOutput(const OutputPlan& plan, std::int64_t frames, std::optional<std::uint64_t> cutTo = {});

}  // namespace quadrel
