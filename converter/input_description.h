// One input as its reading found it: everything the checks, the plan of
// the output and the writing need to know of it, in one place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "converter/wave_format.h"

namespace quadrel {

enum class InputForm : std::uint8_t {
  canonical,  // "RIFF", "WAVEfmt ", a 16-byte fmt chunk, "data" at byte 36
  walked,     // any other RIFF, RF64 or BW64 WAVE file, its chunks walked
  notWave,    // no WAVE file at all, read at the canonical positions anyway
};

// The fields of the 44-byte header that are not format fields, for an input
// read at the canonical positions, as read.
struct FixedHeader {
  std::array<char, 4> riffId{};     // offset 0
  std::uint32_t riffSize = 0;       // offset 4
  std::array<char, 8> waveFmtId{};  // offset 8
  std::uint32_t fmtLength = 0;      // offset 16
  std::array<char, 4> dataId{};     // offset 36
  std::uint32_t dataLength = 0;     // offset 40
};

// A chunk after the data that the output takes whole.
struct TailChunk {
  std::uint64_t offset = 0;  // of its header in the input
  std::uint32_t size = 0;    // of its body, without the pad byte

  // Header, body and pad byte.
  std::uint64_t length() const { return 8 + std::uint64_t{size} + (size & 1); }
  bool operator==(const TailChunk&) const = default;
};

// The WX file's whole chunks after its data that a chunked output takes,
// and the body of the first iXML chunk among them, which the output carries
// rewritten in its header instead (nothing when there is none, or it is
// longer than the parser keeps).
struct ListedTail {
  std::vector<TailChunk> chunks;
  std::optional<std::vector<std::byte>> ixml;
};

struct InputDescription {
  InputForm form = InputForm::notWave;
  // A RIFX file read without a byte-order setting: its header numbers, its
  // chunk sizes and its samples are big-endian.
  bool bigEndian = false;
  FormatFields format;
  std::optional<FixedHeader> fixed;  // inputs read at the canonical positions
  std::uint64_t dataStart = 0;       // file offset of the first frame
  // Bytes of sample data; nothing when they run to the end of a stream whose
  // length is not known ahead. A walked regular file never claims more than
  // it holds.
  std::optional<std::uint64_t> dataLength;
  bool lengthFromTheEnd = false;  // the file states no length: its data runs to its end
  // Just after the data and its pad byte; nothing when the length is not known.
  std::optional<std::uint64_t> dataEnd;
  // Where the file's RIFF or ds64 size says it ends; nothing when it does
  // not say.
  std::optional<std::uint64_t> riffEnd;
  // Where a regular file ends, for an input read at the canonical positions;
  // nothing for a stream.
  std::optional<std::uint64_t> fileEnd;
  std::optional<std::vector<std::byte>> bext;  // the bext body, up to its limit, where kept
  std::optional<std::vector<std::byte>> ixml;  // the WX file's first iXML body before the data, up to its limit
};

}  // namespace quadrel
