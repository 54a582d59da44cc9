// The verdict on a chunk after the data.
#include "converter/tail_chunks.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "converter/wave_format.h"
#include "services/units/little_endian.h"

namespace quadrel {
namespace {

constexpr std::size_t tailChunkLimit = 4096;

constexpr const char* passedOver[] = {"PEAK", "levl", "chna", "fact", "fmt ", "ds64", "data", "iXML"};

// Chunk ids are four printable ASCII characters.
bool isChunkId(const std::byte* id) {
  return std::all_of(id, id + 4, [](std::byte b) { return b >= std::byte{0x20} && b <= std::byte{0x7E}; });
}

// Walks the chunks between `from` and `limit` up to the first that ends
// them, handing each, with its header, to `visit` until it returns false.
template <typename Visit>
void walkTailChunks(std::uint64_t from, std::uint64_t limit, const ChunkHeaderReader& read, Visit visit) {
  std::array<std::byte, chunkHeaderLength> header;
  for (std::uint64_t offset = from; offset < limit && limit - offset >= header.size();) {
    if (!read(offset, header)) return;
    const TailVerdict verdict = judgeTailChunk(header, offset, limit);
    if (verdict == TailVerdict::end) return;
    const TailChunk chunk{offset, chunkSize(header)};
    if (!visit(chunk, header, verdict)) return;
    offset += chunk.length();
  }
}

}  // namespace

std::uint32_t chunkSize(std::span<const std::byte, chunkHeaderLength> header) {
  return loadUint32Le(header.data() + 4);
}

TailVerdict judgeTailChunk(std::span<const std::byte, chunkHeaderLength> header, std::uint64_t offset,
                           std::optional<std::uint64_t> limit) {
  if (!isChunkId(header.data())) return TailVerdict::end;
  if (limit && (offset > *limit || *limit - offset < chunkHeaderLength + std::uint64_t{chunkSize(header)})) {
    return TailVerdict::end;
  }
  for (const char* id : passedOver) {
    if (std::memcmp(header.data(), id, 4) == 0) return TailVerdict::passOver;
  }
  return TailVerdict::carry;
}

std::vector<TailChunk> listTailChunks(std::uint64_t from, std::uint64_t limit,
                                      const ChunkHeaderReader& read) {
  std::vector<TailChunk> chunks;
  walkTailChunks(from, limit, read, [&chunks](const TailChunk& chunk, auto&, TailVerdict verdict) {
    if (verdict == TailVerdict::carry) chunks.push_back(chunk);
    return chunks.size() < tailChunkLimit;
  });
  return chunks;
}

std::optional<TailChunk> findTailIxml(std::uint64_t from, std::uint64_t limit,
                                      const ChunkHeaderReader& read) {
  std::optional<TailChunk> found;
  std::size_t visited = 0;
  walkTailChunks(from, limit, read, [&](const TailChunk& chunk, const auto& header, TailVerdict) {
    if (hasId(header.data(), "iXML")) found = chunk;
    return !found && ++visited < tailChunkLimit;
  });
  return found;
}

}  // namespace quadrel
