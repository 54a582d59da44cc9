// A conversion under --align or --offset: the two checked inputs placed on
// one timeline, the part of each that the output takes, the bext it
// carries, and each input's leading frames skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "converter/alignment_report.h"
#include "converter/conversion_files.h"
#include "converter/input_checks.h"
#include "converter/input_description.h"
#include "converter/output_plan.h"

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

// The part of the inputs that the output plan takes.
TakeSpan takeSpan(const AlignmentFacts& facts);

// Skips the frames of each input of `files` before the span, `halfLength`
// bytes a frame: a regular file by position, a stream by reading them. An input
// that ends first leaves nothing to overlap: refused as above.
void skipLeadingFrames(const ConversionFiles& files, const AlignmentFacts& facts, std::size_t halfLength);

}  // namespace quadrel
