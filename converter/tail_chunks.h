// Which chunks after the WX file's data the output takes.
//
// The output takes whole chunks only: a chunk whose id is no chunk id (the
// bytes after the data are samples the sizes do not count, or a trailer of
// another format) or that does not lie whole inside the file and its RIFF
// size ends the chunks, and nothing after it is taken. Chunks that describe
// the input's two channels or its samples (PEAK, levl, chna, fact, fmt,
// ds64, data) would be wrong about four channels and are passed over, and
// so is iXML, which the output carries rewritten in its header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "converter/input_description.h"

namespace quadrel {

enum class TailVerdict : std::uint8_t { carry, passOver, end };

// The verdict on the chunk whose header stands at `offset`; `limit` is
// where the chunks must end (the file's end or its RIFF size's, the first
// of them), nothing when neither is known yet. The pad byte after an odd
// body may lie beyond it.
TailVerdict judgeTailChunk(std::span<const std::byte, chunkHeaderLength> header, std::uint64_t offset,
                           std::optional<std::uint64_t> limit);

// The size field of a chunk header.
std::uint32_t chunkSize(std::span<const std::byte, chunkHeaderLength> header);

// Reads the chunk header at `offset`; false when it cannot.
using ChunkHeaderReader = std::function<bool(std::uint64_t offset, std::span<std::byte, chunkHeaderLength>)>;

// The chunks that the output takes from those between `from` and `limit`,
// in file order; no more than real files have (4096), the rest left out.
std::vector<TailChunk> listTailChunks(std::uint64_t from, std::uint64_t limit, const ChunkHeaderReader& read);

// The first iXML chunk among the first 4096 of those, in the same walk.
std::optional<TailChunk> findTailIxml(std::uint64_t from, std::uint64_t limit, const ChunkHeaderReader& read);

}  // namespace quadrel
