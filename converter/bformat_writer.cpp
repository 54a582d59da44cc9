// The frame loop and the tail copy.
//
// The frames move many at a time: the loop borrows the bytes the two inputs
// have already fetched and the room left in the output's gathered buffer,
// weaves whole frames into it and commits them, exactly as the requests of
// one frame at a time would have left the file. Whatever one such step
// cannot settle, a frame that straddles two fetches, the end of a file
// inside a frame, a conversion of reals that may report, goes through the
// read and write requests one frame at a time, which gives every failure
// its unit, its order and its output.
#include "converter/bformat_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr int wxUnit = 1;
constexpr int yzUnit = 2;
constexpr int outputUnit = 9;

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
  std::span<const HalfItem> items;
  std::size_t halfLength = 0;
  bool hasReal = false;
};

FrameLayout layoutOf(std::span<const HalfItem> items) {
  FrameLayout layout{items};
  for (const HalfItem& item : items) {
    layout.halfLength += item.length;
    layout.hasReal = layout.hasReal || item.kind == ItemKind::real4;
  }
  return layout;
}

// What the byte-order settings of the three units do to the frames.
struct FrameConversion {
  const ByteOrderSettings& wx = byteOrderOf(wxUnit);
  const ByteOrderSettings& yz = byteOrderOf(yzUnit);
  const ByteOrderSettings& output = byteOrderOf(outputUnit);

  bool any() const { return wx.convert || yz.convert || output.convert; }
  // A real in another representation may fail to convert, which is
  // reported where the request makes it.
  bool mayReport(const FrameLayout& layout) const {
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
      for (const HalfItem& item : layout.items) {
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
  explicit FrameRequests(const FrameLayout& layout) : image_(2 * layout.halfLength) {
    std::byte* at = image_.data();
    for (std::vector<TransferItem>* side : {&wx_, &yz_}) {
      for (const HalfItem& item : layout.items) {
        side->push_back({item.kind, at, item.length});
        at += item.length;
      }
    }
    frame_ = wx_;
    frame_.insert(frame_.end(), yz_.begin(), yz_.end());
  }

  void transfer() {
    readStatement(wxUnit, wx_);
    readStatement(yzUnit, yz_);
    writeStatement(outputUnit, frame_);
  }

 private:
  std::vector<std::byte> image_;
  std::vector<TransferItem> wx_, yz_, frame_;
};

// Moves as many whole frames as both inputs have fetched and the output's
// room takes, at most `wanted`. Returns 0 when not one whole frame can go
// this way.
std::int64_t moveFetchedFrames(std::int64_t wanted, const FrameLayout& layout,
                               const FrameConversion& conversion) {
  const std::size_t half = layout.halfLength;
  const std::span<const std::byte> wx = borrowFetched(wxUnit);
  const std::span<const std::byte> yz = borrowFetched(yzUnit);
  const std::size_t fetched = std::min(wx.size(), yz.size()) / half;
  if (fetched == 0) return 0;
  const std::span<std::byte> room = borrowRoom(outputUnit, 2 * half);
  std::size_t frames = std::min(fetched, room.size() / (2 * half));
  if (static_cast<std::uint64_t>(wanted) < frames) frames = static_cast<std::size_t>(wanted);
  if (frames == 0) return 0;

  weave(room.data(), wx.data(), yz.data(), frames, half);
  if (conversion.any()) conversion.apply(room.data(), frames, layout);
  commitFetched(wxUnit, frames * half);
  commitFetched(yzUnit, frames * half);
  commitRoom(outputUnit, frames * 2 * half, 2 * half);
  return static_cast<std::int64_t>(frames);
}

// Whether input `unit` has nothing left at all: no fetched byte and nothing
// more to fetch.
bool inputEnded(int unit) { return borrowFetched(unit).empty() && !fetchMore(unit); }

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

std::int64_t interleaveFrames(FrameCounts counts, std::span<const HalfItem> half,
                              const BeforeEndOfInput& beforeEndOfInput) {
  const FrameLayout layout = layoutOf(half);
  // The WX count governs; without it the YZ count, when known, bounds the YZ data.
  const std::optional<std::int64_t> limit = counts.wx ? counts.wx : counts.yz;
  if (layout.halfLength == 0 || (counts.wx && *counts.wx <= 0)) return 0;
  const FrameConversion conversion;
  const bool oneAtATime = conversion.mayReport(layout);
  FrameRequests requests(layout);
  std::int64_t done = 0;
  auto endOfData = [&](int unit) {
    if (beforeEndOfInput) beforeEndOfInput(done);
    failAtEndOfData(unit);
  };
  while (!limit || done < *limit) {
    const std::int64_t wanted = limit ? *limit - done : std::numeric_limits<std::int64_t>::max();
    std::int64_t moved = oneAtATime ? 0 : moveFetchedFrames(wanted, layout, conversion);
    if (moved == 0) {
      // An input at its end between two frames: the other one decides.
      // Anything else, a frame that straddles two fetches or the end of a
      // file inside a frame, goes through the requests.
      if (inputEnded(wxUnit)) {
        if (!limit && inputEnded(yzUnit)) return done;
        endOfData(wxUnit);
      }
      if (borrowFetched(wxUnit).size() >= layout.halfLength && inputEnded(yzUnit)) endOfData(yzUnit);
      requests.transfer();
      moved = 1;
    }
    done += moved;
  }
  // A count reached while the data of the input without one goes on.
  if (!counts.wx && !inputEnded(wxUnit)) endOfData(yzUnit);
  if (counts.wx && !counts.yz && !inputEnded(yzUnit)) endOfData(wxUnit);
  return done;
}

void skipWxBytes(std::uint64_t count) {
  while (count > 0) {
    const std::span<const std::byte> fetched = borrowFetched(wxUnit);
    if (fetched.empty()) {
      if (!fetchMore(wxUnit)) return;
      continue;
    }
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count, fetched.size()));
    commitFetched(wxUnit, step);
    count -= step;
  }
}

// Whatever is fetched goes first; the rest is copied inside the system when
// both files allow it, else through the buffers. A pipe's end is only known
// when a read brings nothing, so nothing that arrives late is lost.
void copyWxTail() {
  for (;;) {
    const std::span<const std::byte> fetched = borrowFetched(wxUnit);
    if (fetched.empty()) {
      if (copyRestInSystem(wxUnit, outputUnit) || !fetchMore(wxUnit)) return;
      continue;
    }
    const std::span<std::byte> room = borrowRoom(outputUnit, 1);
    const std::size_t count = std::min(fetched.size(), room.size());
    std::memcpy(room.data(), fetched.data(), count);
    commitFetched(wxUnit, count);
    commitRoom(outputUnit, count, 1);
  }
}

}  // namespace quadrel
