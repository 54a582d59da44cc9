// The frame loop and the tail copy of the four-channel output: W X Y Z
// frames woven from units 1 and 2 into unit 9, then what follows the WX
// data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "services/units/transfer_item.h"

namespace quadrel {

// One item of an input's half of a frame: how its bytes travel.
struct HalfItem {
  ItemKind kind;
  std::size_t length;  // 2 or 4 for numbers, any length for characters
};

// The items of a frame half, one input's block.
struct FrameHalf {
  std::array<HalfItem, 2> slots{};
  std::size_t count = 0;

  std::span<const HalfItem> items() const { return {slots.data(), count}; }
};

// The frame half of a sample width: 16 bits one 4-byte integer, 24 bits a
// 2-byte then a 4-byte integer, 32 bits two 4-byte reals; any other width
// one character field of the block align, which no byte-order setting
// converts. Empty for a block align of 0 or less.
FrameHalf frameHalf(std::int16_t bitsPerSample, std::int16_t blockAlign);

// How many frames each input holds: nothing where its data runs to the end
// of a pipe, whose length is not known ahead.
struct FrameCounts {
  std::optional<std::int64_t> wx;
  std::optional<std::int64_t> yz;
};

// Runs when the frames stop at an input's end while the other input still
// has data, with the count of frames converted, right before that end is
// reported.
using BeforeEndOfInput = std::function<void(std::int64_t frames)>;

// Interleaves frames of units 1 and 2 into unit 9: each frame one read
// request of `half` from unit 1, one from unit 2, and one write request of
// both to unit 9. The WX count governs (none for 0 or less), and an input
// that ends before it fails with end-of-file. Without a WX count, frames go
// until an input's data ends: both ending together at a frame boundary ends
// the frames; otherwise the input whose data ended first fails with
// end-of-file, as a read past its end would. The same holds when the WX
// count is reached while a YZ stream of unknown length goes on. Returns the
// frames converted.
std::int64_t interleaveFrames(FrameCounts counts, std::span<const HalfItem> half,
                              const BeforeEndOfInput& beforeEndOfInput = {});

// Reads and drops `count` bytes of unit 1, or what is left of it when it
// ends first.
void skipWxBytes(std::uint64_t count);

// Copies every byte of unit 1 from where it stands to its end, as one-byte
// read and write requests would.
void copyWxTail();

}  // namespace quadrel
