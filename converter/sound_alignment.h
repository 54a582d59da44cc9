// The sound offset search applied to a conversion's inputs: under
// --align=sound the offset found from the files' openings; after any
// alignment, the warnings where the sound disagrees. The inputs must be
// regular files: their frames are read by position, and the streams the
// conversion reads stay where they are.
#pragma once

#include <cstdint>

#include "converter/alignment_report.h"
#include "converter/conversion_files.h"
#include "converter/input_checks.h"
#include "converter/input_description.h"
#include "converter/sound_offset.h"

namespace quadrel {

// The offset at which the first two minutes of the inputs match, of at
// most a minute either way. Pipes, samples it cannot read and sound that
// names no offset are refused with one error record, and the run stops.
// `wxFrames` is the WX frame count.
SoundMatch offsetFromSound(const ConversionFiles& files, const InputDescription& wx, Frames wxFrames,
                           const InputDescription& yz);

// Writes a warning record where the sound disagrees with the alignment by
// more than a frame: under --align=sound, the offset measured again over
// the last minute of the span (clocks that drift); under --align and
// --offset, the offset measured over the first two minutes of the span.
// Says nothing for streams, short takes, or sound that names no offset.
void checkAlignmentBySound(const ConversionFiles& files, const AlignmentFacts& facts,
                           const InputDescription& wx, const InputDescription& yz);

}  // namespace quadrel
