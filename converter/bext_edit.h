// Reading and editing a Broadcast Wave bext body, as bytes in memory. The
// fields used, little-endian:
//   offset 338, 4 bytes   TimeReferenceLow   the frames from midnight to the
//   offset 342, 4 bytes   TimeReferenceHigh  file's first frame, 64 bits
//   offset 602, the rest  CodingHistory      ASCII lines, each ended by CR LF
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quadrel {

inline constexpr std::size_t bextTimeReferenceOffset = 338;
inline constexpr std::size_t bextCodingHistoryOffset = 602;

// The TimeReference of `body`; nothing when the body is too short to hold it.
std::optional<std::uint64_t> bextTimeReference(std::span<const std::byte> body);

struct BextEdit {
  std::optional<std::uint64_t> timeReference;  // nothing: kept as it is
  std::string_view historyLine;                // without its CR LF; empty: none added
};

// `body` with the edit made. A body shorter than the fixed fields is first
// filled up to them with zeros. The CodingHistory keeps its lines (a last
// line without its CR LF gets one, the NULs after the text are dropped) and
// gains `historyLine` with CR LF; the body then ends in one NUL where its
// length would otherwise be odd, so that the chunk needs no pad byte.
std::vector<std::byte> editBext(std::span<const std::byte> body, const BextEdit& edit);

}  // namespace quadrel
