// The four-channel B-format output: its header, the W X Y Z frames and the
// tail of the WX file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "converter/wave_header.h"

namespace quadrel {

// The four-channel header derived from the two inputs, in file order.
// Arithmetic wraps at 32 bits; the output block align is twice the YZ block
// align kept in a signed 16-bit field.
struct OutputHeader {
  std::array<std::byte, 44> image;
};

OutputHeader buildOutputHeader(const WaveHeader& header, std::int32_t frames);

// Writes the header to unit 9 in four write requests, one per header group.
void writeOutputHeader(const WaveHeader& header, std::int32_t frames);

// Interleaves `frames` frames of units 1 and 2 into unit 9. Widths other
// than 16, 24 and 32 bits move nothing; so does a frame count of 0 or less.
void interleaveFrames(std::int32_t frames, std::int16_t bitsPerSample);

// Copies every byte of unit 1 that follows the last converted frame.
void copyWxTail();

}  // namespace quadrel
