// The four-channel B-format output: its header, the W X Y Z frames and the
// tail of the WX file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "converter/wave_header.h"
#include "services/units/transfer_item.h"

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

// One item of an input's half of a frame: how its bytes travel.
struct HalfItem {
  ItemKind kind;
  std::size_t length;  // 2 or 4 for numbers, any length for characters
};

// The items of a frame half for a sample width: 16 bits one 4-byte integer,
// 24 bits a 2-byte then a 4-byte integer, 32 bits two 4-byte reals. Empty
// for any other width, whose samples are not interleaved.
std::span<const HalfItem> frameHalfItems(std::int16_t bitsPerSample);

// Interleaves `frames` frames of units 1 and 2 into unit 9: each frame one
// read request of `half` from unit 1, one from unit 2, and one write request
// of both to unit 9. Nothing for a frame count of 0 or less.
void interleaveFrames(std::int64_t frames, std::span<const HalfItem> half);

// The same with the layout of `bitsPerSample`: widths other than 16, 24
// and 32 bits move nothing.
void interleaveFrames(std::int32_t frames, std::int16_t bitsPerSample);

// Copies every byte of unit 1 that follows the last converted frame, as
// one-byte read and write requests.
void copyWxTail();

}  // namespace quadrel
