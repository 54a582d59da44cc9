// The frame interleaving and the tail copy, many requests per step.
//
// Each step moves only whole requests that the input buffers already hold,
// so no platform read happens inside a step and nothing can fail half-way
// through one. Whatever a single step cannot settle (an item that straddles
// two fetches, the end of a file inside a frame, a real conversion that may
// report) goes through readStatement and writeStatement one frame at a
// time, which gives every failure its unit, its order and its output.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "services/diagnostics/report.h"
#include "services/diagnostics/termination.h"
#include "services/units/unit_table.h"

namespace quadrel {
namespace {

// The items of one frame half, laid out in a frame image.
struct FrameLayout {
  std::vector<ItemKind> kinds;
  std::vector<std::size_t> offsets;  // within the half
  std::size_t halfLength = 0;
  bool hasReal = false;
};

FrameLayout layoutOf(std::span<const ItemKind> half) {
  FrameLayout layout;
  for (ItemKind kind : half) {
    layout.kinds.push_back(kind);
    layout.offsets.push_back(layout.halfLength);
    layout.halfLength += itemLength(kind);
    layout.hasReal = layout.hasReal || kind == ItemKind::real4;
  }
  return layout;
}

bool mayReport(const FrameLayout& layout, const ByteOrderSettings& order) {
  return layout.hasReal && order.realFormat != RealFormat::ieee;
}

template <std::size_t half>
void interleaveFixed(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames) {
  for (std::size_t i = 0; i < frames; ++i) {
    std::memcpy(out, first, half);
    std::memcpy(out + half, second, half);
    out += 2 * half;
    first += half;
    second += half;
  }
}

// Six-byte halves move as overlapping eight-byte words, about twice as fast:
// the two extra bytes of each word land where the next copy writes anyway.
// The last frame goes exactly, so nothing beyond the frames is read or
// written.
void interleaveSix(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames) {
  for (std::size_t i = 1; i < frames; ++i) {
    std::memcpy(out, first, 8);
    std::memcpy(out + 6, second, 8);
    out += 12;
    first += 6;
    second += 6;
  }
  interleaveFixed<6>(out, first, second, 1);
}

void interleave(std::byte* out, const std::byte* first, const std::byte* second, std::size_t frames,
                std::size_t half) {
  switch (half) {
    case 4:
      return interleaveFixed<4>(out, first, second, frames);
    case 6:
      return interleaveSix(out, first, second, frames);
    case 8:
      return interleaveFixed<8>(out, first, second, frames);
    default:
      for (std::size_t i = 0; i < frames; ++i) {
        std::memcpy(out + 2 * half * i, first + half * i, half);
        std::memcpy(out + 2 * half * i + half, second + half * i, half);
      }
  }
}

// The conversions a read and then a write would make, item by item. Only
// reversals reach here, and they cannot fail.
void convertHalves(std::byte* out, std::size_t frames, const FrameLayout& layout,
                   const ByteOrderSettings& first, const ByteOrderSettings& second,
                   const ByteOrderSettings& output) {
  for (std::size_t frame = 0; frame < frames; ++frame) {
    for (int side = 0; side < 2; ++side) {
      const ByteOrderSettings& input = side == 0 ? first : second;
      std::byte* halfImage = out + (2 * frame + static_cast<std::size_t>(side)) * layout.halfLength;
      for (std::size_t i = 0; i < layout.kinds.size(); ++i) {
        fileToMemory(input, layout.kinds[i], halfImage + layout.offsets[i]);
        memoryToFile(output, layout.kinds[i], halfImage + layout.offsets[i]);
      }
    }
  }
}

// Moves as many whole frames as both input buffers hold and the output
// takes in one step, at most `wanted`. Returns 0 when no whole frame can go
// this way.
std::int64_t moveBufferedFrames(BinaryUnit& first, BinaryUnit& second, BinaryUnit& output,
                                const FrameLayout& layout, std::int64_t wanted) {
  const std::size_t half = layout.halfLength;
  const std::size_t frameLength = 2 * half;
  std::lock_guard firstLock(first.record.inUse);
  std::lock_guard secondLock(second.record.inUse);
  if (!first.connected || !second.connected || first.direction != UnitAction::read ||
      second.direction != UnitAction::read || first.unconsumed < half || second.unconsumed < half ||
      mayReport(layout, first.order) || mayReport(layout, second.order)) {
    return 0;
  }
  std::size_t frames =
      std::min({static_cast<std::size_t>(wanted), first.unconsumed / half, second.unconsumed / half});

  std::lock_guard outputLock(output.record.inUse);
  if (!output.connected || mayReport(layout, output.order)) return 0;
  std::byte* out = nullptr;
  if (output.disk) {
    std::size_t available = 0;
    out = gatherSpace(output, frameLength, available);
    frames = std::min(frames, available / frameLength);
  } else {
    frames = std::min(frames, output.stagingCapacity / frameLength);
    out = output.staging.get();
  }
  if (frames == 0) return 0;

  interleave(out, first.fetchBuffer.get() + first.nextByte, second.fetchBuffer.get() + second.nextByte,
             frames, half);
  if (first.order.convert || second.order.convert || output.order.convert) {
    convertHalves(out, frames, layout, first.order, second.order, output.order);
  }
  consume(first, frames * half);
  consume(second, frames * half);
  if (output.disk) {
    publish(output, frames * frameLength, frameLength);
  } else {
    putCompleted(output, out, frames * frameLength, frameLength);
  }
  return static_cast<std::int64_t>(frames);
}

// A pipe or a device has no size, so bytes still to come cannot be told
// from the end until a read says so: without this, whatever had not yet
// arrived when the frames were done would be lost. False when a read brings
// nothing; a refused read fails with 39.
bool fetchUnlessAtEnd(BinaryUnit& unit) { return fetchAvailable(unit) > 0; }

}  // namespace

void transferFrames(int first, int second, int output, std::span<const ItemKind> half, std::int32_t frames) {
  const FrameLayout layout = layoutOf(half);
  if (frames <= 0 || layout.halfLength == 0) return;

  std::vector<std::byte> frame(2 * layout.halfLength);
  std::vector<TransferItem> firstItems, secondItems, frameItems;
  for (std::size_t i = 0; i < layout.kinds.size(); ++i) {
    firstItems.push_back({layout.kinds[i], frame.data() + layout.offsets[i], itemLength(layout.kinds[i])});
    secondItems.push_back(
        {layout.kinds[i], frame.data() + layout.halfLength + layout.offsets[i], itemLength(layout.kinds[i])});
  }
  frameItems = firstItems;
  frameItems.insert(frameItems.end(), secondItems.begin(), secondItems.end());

  std::int64_t remaining = frames;
  while (remaining > 0) {
    if (terminationStarted()) platform::parkForever();
    std::int64_t moved = 0;
    if (first != second) {
      moved =
          moveBufferedFrames(binaryUnit(first), binaryUnit(second), binaryUnit(output), layout, remaining);
    }
    if (moved == 0) {
      readStatement(first, firstItems);
      readStatement(second, secondItems);
      writeStatement(output, frameItems);
      moved = 1;
    }
    remaining -= moved;
  }
}

void copyUntilEnd(int inputNumber, int outputNumber) {
  for (;;) {
    BinaryUnit& input = unitForOperation(inputNumber);
    std::lock_guard inputLock(input.record.inUse);
    if (!input.connected) return;
    std::optional<std::int64_t> left = bytesLeft(input);
    if (left && *left <= 0 && !input.disk && fetchUnlessAtEnd(input)) left = bytesLeft(input);
    if (left && *left <= 0) return;
    // The one-byte read that the copy stands for applies the fetch rule.
    if (input.unconsumed == 0) fetchBlock(input);
    std::size_t count = input.unconsumed;
    if (left)
      count = static_cast<std::size_t>(std::min<std::int64_t>(*left, static_cast<std::int64_t>(count)));

    BinaryUnit& output = binaryUnit(outputNumber);
    std::lock_guard outputLock(output.record.inUse);
    if (!output.connected) unitNotConnected(output, status::errorDuringWrite);
    putCompleted(output, input.fetchBuffer.get() + input.nextByte, count, 1);
    consume(input, count);
  }
}

}  // namespace quadrel
