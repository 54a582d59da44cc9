// Copying the tail from the WX file to the output.
//
// Whatever the WX file has fetched goes first; the rest is copied inside the
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

constexpr std::uint64_t toTheEnd = std::numeric_limits<std::uint64_t>::max();

// Copies `count` bytes of the WX file to the output, or what is left of
// the WX file when it ends first; returns the bytes copied.
std::uint64_t copyWxBytes(const ConversionFiles& files, std::uint64_t count) {
  std::uint64_t copied = 0;
  while (copied < count) {
    const std::span<const std::byte> fetched = borrowFetched(files.wx);
    if (fetched.empty()) {
      const SystemCopy copy = copyInSystem(files.wx, files.output, count - copied);
      copied += copy.copied;
      if (copied == count || copy.atEnd || !fetchMore(files.wx)) break;
      continue;
    }
    const std::span<std::byte> room = borrowRoom(files.output, 1);
    const auto step = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min(fetched.size(), room.size()), count - copied));
    std::memcpy(room.data(), fetched.data(), step);
    commitFetched(files.wx, step);
    commitRoom(files.output, step, 1);
    copied += step;
  }
  return copied;
}

// Reads and drops `count` bytes of the WX file, or what is left of it when
// it ends first; returns the bytes dropped.
std::uint64_t skipWxBytes(const ConversionFiles& files, std::uint64_t count) {
  std::uint64_t skipped = 0;
  while (skipped < count) {
    const std::span<const std::byte> fetched = borrowFetched(files.wx);
    if (fetched.empty()) {
      if (!fetchMore(files.wx)) break;
      continue;
    }
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(fetched.size(), count - skipped));
    commitFetched(files.wx, step);
    skipped += step;
  }
  return skipped;
}

// The pad byte after an odd body, written as 0 whatever the input had.
void writePadByte(const ConversionFiles& files) {
  std::byte zero{0};
  const TransferItem pad[] = {TransferItem::characters(&zero, 1)};
  writeStatement(files.output, pad);
}

// The chunks listed before the output opened. A WX file cut shorter since
// then ends them, as a stream's end does: the output ends after the last
// whole one.
std::optional<std::uint64_t> writeListedChunks(const ConversionFiles& files, const OutputPlan& plan,
                                               std::uint64_t position) {
  for (const TailChunk& chunk : plan.tailChunks) {
    const std::optional<std::uint64_t> chunkStart = writtenLength(files.output);
    const std::uint64_t whole = chunkHeaderLength + std::uint64_t{chunk.size};
    if (skipWxBytes(files, chunk.offset - position) < chunk.offset - position) return chunkStart;
    if (copyWxBytes(files, whole) < whole) return chunkStart;
    if (chunk.size & 1) writePadByte(files);
    position = chunk.offset + whole;
  }
  return std::nullopt;
}

// Walks the chunks as they come, by the same rules as a listing.
std::optional<std::uint64_t> writeStreamedChunks(const ConversionFiles& files, const OutputPlan& plan,
                                                 std::uint64_t position) {
  std::uint64_t offset = plan.tailFrom;
  if (skipWxBytes(files, offset - position) < offset - position) return std::nullopt;
  std::array<std::byte, chunkHeaderLength> header;
  // A header that the stream cuts short ends the chunks.
  while (fetchAtLeast(files.wx, header.size())) {
    std::memcpy(header.data(), borrowFetched(files.wx).data(), header.size());
    if (plan.tailBigEndian) reverseNumber(header.data() + 4, 4);
    const TailVerdict verdict = judgeTailChunk(header, offset, plan.tailLimit);
    if (verdict == TailVerdict::end) break;
    const TailChunk chunk{offset, chunkSize(header)};
    if (verdict == TailVerdict::passOver) {
      if (skipWxBytes(files, chunk.length()) < chunk.length()) break;
    } else {
      const std::optional<std::uint64_t> chunkStart = writtenLength(files.output);
      const std::uint64_t whole = chunkHeaderLength + std::uint64_t{chunk.size};
      if (copyWxBytes(files, whole) < whole) return chunkStart;
      if (chunk.size & 1) {
        writePadByte(files);
        skipWxBytes(files, 1);
      }
    }
    offset += chunk.length();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> writeTail(const ConversionFiles& files, const OutputPlan& plan,
                                       std::int64_t frames) {
  // Aligned, the WX frames before the first one written were read too.
  const std::uint64_t position =
      plan.wxDataStart + static_cast<std::uint64_t>(plan.wxSkipped + std::max<std::int64_t>(frames, 0)) *
                             plan.shape.half.length();
  switch (plan.tail) {
    case TailSource::everyByte:
      copyWxBytes(files, toTheEnd);
      break;
    case TailSource::listed:
      return writeListedChunks(files, plan, position);
    case TailSource::streamed:
      return writeStreamedChunks(files, plan, position);
    case TailSource::none:
      break;
  }
  return std::nullopt;
}

}  // namespace quadrel
