// The frame loop of the four-channel output: W X Y Z frames woven from the
// two inputs into the output, and the one decision of how the frames ended.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "converter/conversion_files.h"
#include "services/units/transfer_item.h"

namespace quadrel {

// One item of an input's half of a frame: how its bytes travel.
struct HalfItem {
  ItemKind kind;
  std::size_t length;  // 2 or 4 for numbers, any length for characters
};

// The items of a frame half, one input's block; or of an output frame.
struct FrameHalf {
  std::array<HalfItem, 4> slots{};
  std::size_t count = 0;

  std::span<const HalfItem> items() const { return {slots.data(), count}; }
  std::size_t length() const {
    std::size_t length = 0;
    for (const HalfItem& item : items())
      length += item.length;
    return length;
  }
};

// Makes `frames` output frames at `out` from as many halves of each input.
using FrameKernel = void (*)(std::byte* out, const std::byte* wx, const std::byte* yz, std::size_t frames);

// What a frame of the output is made of: a half of each input, read as
// `half` says; and either the two halves side by side (W X Y Z), as they
// were read, or what `make` makes of them, written as `output` says.
struct FrameShape {
  FrameHalf half;
  FrameKernel make = nullptr;
  FrameHalf output;  // with `make`
};

// The frame half of a sample width: 16 bits one 4-byte integer, 24 bits a
// 2-byte then a 4-byte integer, 32 bits two 4-byte reals; any other width
// one character field of the block align, which no byte-order setting
// converts. Empty for a block align of 0 or less.
FrameHalf frameHalf(std::int16_t bitsPerSample, std::int16_t blockAlign);

// How many frames each input holds: nothing where its data runs to the end
// of a stream, whose length is not known ahead.
struct FrameCounts {
  std::optional<std::int64_t> wx;
  std::optional<std::int64_t> yz;
  // Aligned inputs: where an input whose length was not known ahead ends,
  // between two frames, the take ends; that is no read past its data.
  bool wxEndsTake = false;
  bool yzEndsTake = false;
};

// How the frames stopped, as the loop found it.
struct FrameRun {
  std::int64_t frames = 0;  // converted
  // The unit of the input whose data gave out before the next frame; 0
  // when the count was reached.
  int ranOut = 0;
  bool insideFrame = false;  // it gave out part-way into a frame
  // Whether the other input still had data then; asked only where it
  // decides the outcome: when the count was reached and one input has no
  // count, or when the WX data gave out between frames and neither input
  // has a count.
  bool otherGoesOn = false;
};

// Makes frames of the two inputs into the output: each frame is a half of
// the WX file and one of the YZ file, written as one request. The WX count
// governs (none for 0 or less), else the YZ count; without either, frames
// go until an input's data ends. Reports nothing: an input that ends is
// found and returned.
FrameRun moveFrames(const ConversionFiles& files, const FrameCounts& counts, const FrameShape& shape);

// The unit of the input whose data ended first, which the run reports as a
// read past its end; nothing when the frames ended as they should: at the
// count, or both inputs without one at the same frame boundary.
std::optional<int> inputEndedFirst(const ConversionFiles& files, const FrameCounts& counts,
                                   const FrameRun& run);

}  // namespace quadrel
