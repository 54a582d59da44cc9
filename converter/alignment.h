// A conversion under --align or --offset: the two checked inputs placed on
// one timeline, the bext the output carries, each input's leading frames
// read and dropped, and how the frames may end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "converter/alignment_report.h"
#include "converter/frame_loop.h"
#include "converter/input_checks.h"
#include "converter/input_description.h"

namespace quadrel {

// Places the inputs as `alignment` says (`offset` for Alignment::offset)
// and finds the span both cover; `wxFrames` is the WX frame count. A pair
// that cannot be placed or does not overlap is refused with one error
// record, and the run stops.
AlignmentFacts alignInputs(Alignment alignment, std::int64_t offset, const InputDescription& wx,
                           Frames wxFrames, const InputDescription& yz);

// The bext body of the output: the WX file's, or under --offset the YZ
// file's when the WX file has none, with the TimeReference of the first
// frame written and one CodingHistory line for the output's samples (AmbiX
// ones with `ambix`); nothing when neither file has one.
std::optional<std::vector<std::byte>> alignedBext(const AlignmentFacts& facts, const InputDescription& wx,
                                                  const InputDescription& yz, bool ambix);

// Reads and drops the frames of each input before the span, `halfLength`
// bytes a frame, so that streams work as files do. An input that ends
// first leaves nothing to overlap: refused as above.
void skipLeadingFrames(const AlignmentFacts& facts, std::size_t halfLength);

// Whether the frames ended as a take may end: at the end of the span, or
// between two frames at the end of an input whose length was not known.
bool takeEndedWell(const AlignmentFacts& facts, const FrameRun& run);

}  // namespace quadrel
