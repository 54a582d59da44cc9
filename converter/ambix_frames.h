// AmbiX frames: the channels in ACN order, W Y Z X, with SN3D scaling, which
// for the first order raises W by 3 dB (times the square root of 2), as
// IEEE floating-point samples.
//
// Integer samples are converted exactly: the sample as a signed integer of
// its container width (8-bit as unsigned, less its offset of 128) divided
// by 2 to the power of the container bits less 1. W's product with the
// square root of 2 is rounded once, to nearest. Samples of up to 24 bits and
// 32-bit floats become 32-bit floats; 32-bit integers and 64-bit floats
// become 64-bit floats.
#pragma once

#include <optional>

#include "converter/frame_loop.h"
#include "converter/output_header.h"
#include "converter/wave_format.h"

namespace quadrel {

struct AmbixFrames {
  FrameKernel make = nullptr;
  std::uint16_t sampleBytes = 0;  // of each output sample: 4 or 8
};

// The AmbiX frames of input samples of `format`; nothing for samples it
// cannot take exactly: integers wider than 32 bits, floats other than 32
// and 64 bits, and other kinds.
std::optional<AmbixFrames> ambixFramesOf(const FormatFields& format);

// The frames and fmt fields of an AmbiX output from inputs of `wx`'s
// format, one that ambixFramesOf takes: four floating-point samples a
// frame, in WAVE_FORMAT_EXTENSIBLE with the standard SubFormat.
void planAmbixOutput(const FormatFields& wx, FrameShape& shape, OutputFormat& format);

// The square root of 2 times `value`, rounded once to the nearest double.
double timesSqrt2(double value);

}  // namespace quadrel
