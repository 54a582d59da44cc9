// The frame loop.
//
// The frames move many at a time: the loop makes sure that each input holds
// at least one frame half fetched, borrows the bytes the two inputs have
// fetched and the room left in the output's gathered buffer, weaves or
// makes whole frames into it and commits them, exactly as the requests of
// one frame at a time would have left the file. Frames whose reals are
// converted to a representation that may fail, and made frames whose bytes
// are converted at all, go through the requests one at a time, so that
// each conversion and report comes where its request makes it. When an input cannot
// give a whole frame half, the loop stops and says which one and where; it
// reports nothing itself.
#include "converter/frame_loop.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "services/units/binary_units.h"

namespace quadrel {
namespace {

// ---- Frame layouts --------------------------------------------------------------
//
//   bits   WX half (W, X)   YZ half (Y, Z)   frame written   items per half
//    16       4 bytes          4 bytes          8 bytes      4-byte integer
//    24       6 bytes          6 bytes         12 bytes      2-byte, 4-byte integer
//    32       8 bytes          8 bytes         16 bytes      4-byte real, 4-byte real
//   other   a block align     a block align   two blocks     characters

constexpr FrameHalf sixteenBitHalf{{{{ItemKind::integer4, 4}}}, 1};
constexpr FrameHalf twentyFourBitHalf{{{{ItemKind::integer2, 2}, {ItemKind::integer4, 4}}}, 2};
constexpr FrameHalf thirtyTwoBitHalf{{{{ItemKind::real4, 4}, {ItemKind::real4, 4}}}, 2};

// ---- Weaving kernels: out = first[0] second[0] first[1] second[1] ...,
// each a half of `half` bytes. They read and write nothing beyond the
// frames they are given.

template <std::size_t half>
void weaveFixed(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames) {
  for (std::size_t i = 0; i < frames; ++i) {
    std::memcpy(out, first, half);
    std::memcpy(out + half, second, half);
    out += 2 * half;
    first += half;
    second += half;
  }
}

// Halves of one machine word, sixteen bytes of each input a step: the words
// are woven with vector shuffles, which the compiler turns into unpack
// instructions. Whole words only move, so the host's byte order plays no
// part.
template <typename Word>
void weaveWords(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames) {
  typedef Word Vector __attribute__((vector_size(16)));
  constexpr std::size_t half = sizeof(Word);
  constexpr std::size_t lanes = 16 / half;
  std::size_t i = 0;
  for (; i + lanes <= frames; i += lanes) {
    Vector a;
    Vector b;
    std::memcpy(&a, first + half * i, 16);
    std::memcpy(&b, second + half * i, 16);
    Vector low;
    Vector high;
    if constexpr (lanes == 8) {
      low = __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11);
      high = __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15);
    } else if constexpr (lanes == 4) {
      low = __builtin_shufflevector(a, b, 0, 4, 1, 5);
      high = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    } else {
      low = __builtin_shufflevector(a, b, 0, 2);
      high = __builtin_shufflevector(a, b, 1, 3);
    }
    std::memcpy(out + 2 * half * i, &low, 16);
    std::memcpy(out + 2 * half * i + 16, &high, 16);
  }
  weaveFixed<half>(out + 2 * half * i, first + half * i, second + half * i, frames - i);
}

// Six-byte halves move as overlapping eight-byte words, about twice as fast:
// the two extra bytes of each word land where the next copy writes anyway.
// The last frame goes exactly, so nothing beyond the frames is touched.
void weaveSix(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames) {
  for (std::size_t i = 1; i < frames; ++i) {
    std::memcpy(out, first, 8);
    std::memcpy(out + 6, second, 8);
    out += 12;
    first += 6;
    second += 6;
  }
  weaveFixed<6>(out, first, second, std::min<std::size_t>(frames, 1));
}

void weave(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames,
           std::size_t half) {
  switch (half) {
    case 2:
      return weaveWords<std::uint16_t>(out, first, second, frames);
    case 4:
      return weaveWords<std::uint32_t>(out, first, second, frames);
    case 6:
      return weaveSix(out, first, second, frames);
    case 8:
      return weaveWords<std::uint64_t>(out, first, second, frames);
    case 16:
      return weaveFixed<16>(out, first, second, frames);
    default:
      for (std::size_t i = 0; i < frames; ++i) {
        std::memcpy(out + 2 * half * i, first + half * i, half);
        std::memcpy(out + 2 * half * i + half, second + half * i, half);
      }
  }
}

// ---- The frame loop ---------------------------------------------------------------

struct FrameLayout {
  const FrameShape& shape;
  std::size_t halfLength = 0;
  std::size_t outputLength = 0;
  bool hasReal = false;

  explicit FrameLayout(const FrameShape& frame)
      : shape(frame),
        halfLength(frame.half.length()),
        outputLength(frame.make ? frame.output.length() : 2 * frame.half.length()) {
    for (const FrameHalf* items : {&frame.half, &frame.output}) {
      for (const HalfItem& item : items->items())
        hasReal = hasReal || item.kind == ItemKind::real4;
    }
  }
};

// What the byte-order settings of the three files do to the frames.
struct FrameConversion {
  const ByteOrderSettings& wx;
  const ByteOrderSettings& yz;
  const ByteOrderSettings& output;

  explicit FrameConversion(const ConversionFiles& files)
      : wx(byteOrderOf(files.wx)), yz(byteOrderOf(files.yz)), output(byteOrderOf(files.output)) {}

  bool any() const { return wx.convert || yz.convert || output.convert; }
  // A real in another representation may fail to convert, which is
  // reported where the request makes it. Made frames are converted by their
  // requests whenever anything is converted.
  bool throughRequests(const FrameLayout& layout) const {
    if (layout.shape.make) return any();
    return layout.hasReal && (wx.realFormat != RealFormat::ieee || yz.realFormat != RealFormat::ieee ||
                              output.realFormat != RealFormat::ieee);
  }

  // Converts woven frames in place, item by item, as a read from its input
  // and then the write to the output would. Only reversals come here, and
  // they cannot fail.
  void apply(std::byte* frames, std::size_t count, const FrameLayout& layout) const {
    for (std::size_t frame = 0; frame < 2 * count; ++frame) {
      const ByteOrderSettings& input = frame % 2 == 0 ? wx : yz;
      std::byte* image = frames + frame * layout.halfLength;
      for (const HalfItem& item : layout.shape.half.items()) {
        fileToMemory(input, item.kind, image);
        memoryToFile(output, item.kind, image);
        image += item.length;
      }
    }
  }
};

// The read and write requests of one frame, on an image of its own.
class FrameRequests {
 public:
  FrameRequests(const ConversionFiles& files, const FrameLayout& layout)
      : files_(files), layout_(layout), image_(2 * layout.halfLength + layout.outputLength) {
    std::byte* at = image_.data();
    for (std::vector<TransferItem>* side : {&wx_, &yz_}) {
      for (const HalfItem& item : layout.shape.half.items()) {
        side->push_back({item.kind, at, item.length});
        at += item.length;
      }
    }
    if (layout.shape.make) {
      for (const HalfItem& item : layout.shape.output.items()) {
        frame_.push_back({item.kind, at, item.length});
        at += item.length;
      }
    } else {
      frame_ = wx_;
      frame_.insert(frame_.end(), yz_.begin(), yz_.end());
    }
  }

  // Both inputs hold the frame's half fetched: the reads cannot end.
  std::int64_t transfer() {
    readStatement(files_.wx, wx_);
    readStatement(files_.yz, yz_);
    if (layout_.shape.make) {
      std::byte* halves = image_.data();
      layout_.shape.make(halves + 2 * layout_.halfLength, halves, halves + layout_.halfLength, 1);
    }
    writeStatement(files_.output, frame_);
    return 1;
  }

 private:
  const ConversionFiles& files_;
  const FrameLayout& layout_;
  std::vector<std::byte> image_;
  std::vector<TransferItem> wx_, yz_, frame_;
};

// Moves as many whole frames as both inputs have fetched and the output's
// room takes, at most `wanted`; at least one, as both inputs hold a frame
// half fetched and the room takes a frame.
std::int64_t moveFetchedFrames(const ConversionFiles& files, std::int64_t wanted, const FrameLayout& layout,
                               const FrameConversion& conversion) {
  const std::size_t half = layout.halfLength;
  const std::span<const std::byte> wx = borrowFetched(files.wx);
  const std::span<const std::byte> yz = borrowFetched(files.yz);
  const std::span<std::byte> room = borrowRoom(files.output, layout.outputLength);
  std::size_t frames = std::min(std::min(wx.size(), yz.size()) / half, room.size() / layout.outputLength);
  if (static_cast<std::uint64_t>(wanted) < frames) frames = static_cast<std::size_t>(wanted);

  if (layout.shape.make) {
    layout.shape.make(room.data(), wx.data(), yz.data(), frames);
  } else {
    weave(room.data(), wx.data(), yz.data(), frames, half);
    if (conversion.any()) conversion.apply(room.data(), frames, layout);
  }
  commitFetched(files.wx, frames * half);
  commitFetched(files.yz, frames * half);
  commitRoom(files.output, frames * layout.outputLength, layout.outputLength);
  return static_cast<std::int64_t>(frames);
}

}  // namespace

FrameHalf frameHalf(std::int16_t bitsPerSample, std::int16_t blockAlign) {
  switch (bitsPerSample) {
    case 16:
      return sixteenBitHalf;
    case 24:
      return twentyFourBitHalf;
    case 32:
      return thirtyTwoBitHalf;
    default:
      if (blockAlign <= 0) return {};
      return {{{{ItemKind::characters, static_cast<std::size_t>(blockAlign)}}}, 1};
  }
}

FrameRun moveFrames(const ConversionFiles& files, const FrameCounts& counts, const FrameShape& shape) {
  const FrameLayout layout(shape);
  FrameRun run;
  if (layout.halfLength == 0) return run;
  // A WX count of 0 or less is reached at once, and still decides.
  const std::int64_t limit = counts.wx ? std::max<std::int64_t>(*counts.wx, 0)
                                       : counts.yz.value_or(std::numeric_limits<std::int64_t>::max());
  const FrameConversion conversion(files);
  const bool oneAtATime = conversion.throughRequests(layout);
  FrameRequests requests(files, layout);
  while (run.frames < limit) {
    for (const int unit : {files.wx, files.yz}) {
      if (fetchAtLeast(unit, layout.halfLength)) continue;
      run.ranOut = unit;
      run.insideFrame = !borrowFetched(unit).empty();
      if (unit == files.wx && !counts.wx && !counts.yz && !run.insideFrame) {
        run.otherGoesOn = fetchAtLeast(files.yz, 1);
      }
      return run;
    }
    run.frames +=
        oneAtATime ? requests.transfer() : moveFetchedFrames(files, limit - run.frames, layout, conversion);
  }
  // The count reached: the input without one must have ended there too.
  if (!counts.wx || !counts.yz) run.otherGoesOn = fetchAtLeast(counts.wx ? files.yz : files.wx, 1);
  return run;
}

std::optional<int> inputEndedFirst(const ConversionFiles& files, const FrameCounts& counts,
                                   const FrameRun& run) {
  const bool endsTake = run.ranOut == files.wx ? counts.wxEndsTake : counts.yzEndsTake;
  if (run.ranOut != 0 && endsTake && !run.insideFrame) return std::nullopt;
  if (run.ranOut == files.yz) return files.yz;
  if (run.ranOut == files.wx) {
    // Two streams without counts that end together between two frames.
    if (!counts.wx && !counts.yz && !run.insideFrame && !run.otherGoesOn) return std::nullopt;
    return files.wx;
  }
  if (run.otherGoesOn) return counts.wx ? files.wx : files.yz;
  return std::nullopt;
}

}  // namespace quadrel
