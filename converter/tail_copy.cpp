// Copying the tail from unit 1 to unit 9.
//
// Whatever unit 1 has fetched goes first; the rest is copied inside the
// system when both files allow it, else through the buffers. A stream's end
// is only known when a read brings nothing, so nothing that arrives late is
// lost.
#include "converter/tail_copy.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "converter/tail_chunks.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr int wxUnit = 1;
constexpr int outputUnit = 9;
constexpr std::uint64_t toTheEnd = std::numeric_limits<std::uint64_t>::max();

// Copies `count` bytes of unit 1 to unit 9, or what is left of unit 1 when
// it ends first; returns the bytes copied.
std::uint64_t copyWxBytes(std::uint64_t count) {
  std::uint64_t copied = 0;
  while (copied < count) {
    const std::span<const std::byte> fetched = borrowFetched(wxUnit);
    if (fetched.empty()) {
      const SystemCopy copy = copyInSystem(wxUnit, outputUnit, count - copied);
      copied += copy.copied;
      if (copied == count || copy.atEnd || !fetchMore(wxUnit)) break;
      continue;
    }
    const std::span<std::byte> room = borrowRoom(outputUnit, 1);
    const auto step = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min(fetched.size(), room.size()), count - copied));
    std::memcpy(room.data(), fetched.data(), step);
    commitFetched(wxUnit, step);
    commitRoom(outputUnit, step, 1);
    copied += step;
  }
  return copied;
}

// Reads and drops `count` bytes of unit 1, or what is left of it when it
// ends first; returns the bytes dropped.
std::uint64_t skipWxBytes(std::uint64_t count) {
  std::uint64_t skipped = 0;
  while (skipped < count) {
    const std::span<const std::byte> fetched = borrowFetched(wxUnit);
    if (fetched.empty()) {
      if (!fetchMore(wxUnit)) break;
      continue;
    }
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(fetched.size(), count - skipped));
    commitFetched(wxUnit, step);
    skipped += step;
  }
  return skipped;
}

// The pad byte after an odd body, written as 0 whatever the input had.
void writePadByte() {
  std::byte zero{0};
  const TransferItem pad[] = {TransferItem::characters(&zero, 1)};
  writeStatement(outputUnit, pad);
}

void writeListedChunks(const OutputPlan& plan, std::uint64_t position) {
  for (const TailChunk& chunk : plan.tailChunks) {
    skipWxBytes(chunk.offset - position);
    copyWxBytes(chunkHeaderLength + std::uint64_t{chunk.size});
    if (chunk.size & 1) writePadByte();
    position = chunk.offset + chunkHeaderLength + chunk.size;
  }
}

// Walks the chunks as they come, by the same rules as a listing.
std::optional<std::uint64_t> writeStreamedChunks(const OutputPlan& plan, std::uint64_t position) {
  std::uint64_t offset = plan.tailFrom;
  if (skipWxBytes(offset - position) < offset - position) return std::nullopt;
  std::array<std::byte, chunkHeaderLength> header;
  // A header that the stream cuts short ends the chunks.
  while (fetchAtLeast(wxUnit, header.size())) {
    std::memcpy(header.data(), borrowFetched(wxUnit).data(), header.size());
    const TailVerdict verdict = judgeTailChunk(header, offset, plan.tailLimit);
    if (verdict == TailVerdict::end) break;
    const TailChunk chunk{offset, chunkSize(header)};
    if (verdict == TailVerdict::passOver) {
      if (skipWxBytes(chunk.length()) < chunk.length()) break;
    } else {
      const std::optional<std::uint64_t> chunkStart = writtenLength(outputUnit);
      const std::uint64_t whole = chunkHeaderLength + std::uint64_t{chunk.size};
      if (copyWxBytes(whole) < whole) return chunkStart;
      if (chunk.size & 1) {
        writePadByte();
        skipWxBytes(1);
      }
    }
    offset += chunk.length();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> writeTail(const OutputPlan& plan, std::int64_t frames) {
  const std::uint64_t position =
      plan.wxDataStart +
      static_cast<std::uint64_t>(std::max<std::int64_t>(frames, 0)) * plan.shape.half.length();
  switch (plan.tail) {
    case TailSource::everyByte:
      copyWxBytes(toTheEnd);
      break;
    case TailSource::listed:
      writeListedChunks(plan, position);
      break;
    case TailSource::streamed:
      return writeStreamedChunks(plan, position);
    case TailSource::none:
      break;
  }
  return std::nullopt;
}

}  // namespace quadrel
