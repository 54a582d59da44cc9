// The verdict on a chunk after the data.
#include "converter/tail_chunks.h"

#include <algorithm>
#include <cstring>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

constexpr const char* passedOver[] = {"PEAK", "levl", "chna", "fact", "fmt ", "ds64", "data"};

// Chunk ids are four printable ASCII characters.
bool isChunkId(const std::byte* id) {
  return std::all_of(id, id + 4, [](std::byte b) { return b >= std::byte{0x20} && b <= std::byte{0x7E}; });
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

}  // namespace quadrel
