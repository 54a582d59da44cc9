// The header of the four-channel output, built from values alone.
//
// A canonical pair whose output fits a 32-bit RIFF size gets the 44-byte
// header derived field by field from the two input headers, with 32-bit
// wrapping arithmetic, as it always has. Every other pair gets a chunked
// header:
//   "RIFF" or "RF64", size, "WAVE"
//   [ "JUNK" or "ds64", 28 bytes ]  kept free for the 64-bit sizes
//   [ "bext", the WX file's body ]  Broadcast Wave: origin, timecode, history
//   [ "iXML", its body ]            what the four channels are
//   "fmt ", 16 bytes, or 40 for WAVE_FORMAT_EXTENSIBLE
//   [ "fact", the frame count ]     every format but plain PCM
//   "data", size
// No size in it ever wraps: a size that passes 32 bits moves to the ds64
// chunk, or reads 0xFFFFFFFF ("up to the end") where there is none.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "converter/input_description.h"
#include "services/units/transfer_item.h"

namespace quadrel {

// The 44-byte header, in file order. The identifiers, fmt length, format
// tag and block align are the YZ file's; the rate, the bits and the sizes
// the WX file's. The output block align is twice the YZ block align kept in
// 16 bits; sums and products wrap at 32 bits.
using CanonicalImage = std::array<std::byte, 44>;

CanonicalImage buildCanonicalHeader(const InputDescription& wx, const InputDescription& yz,
                                    std::int64_t frames);

// The fmt fields of the four-channel output.
struct OutputFormat {
  std::uint16_t formatTag = 1;  // 1 PCM, 3 IEEE float, or another tag of a canonical YZ file
  std::uint32_t sampleRate = 0;
  std::uint16_t blockAlign = 0;     // of a four-channel frame
  std::uint16_t bitsPerSample = 0;  // the container of one sample
  std::uint16_t validBits = 0;      // of those, the bits that carry the sample
  bool ambisonic = false;           // labelled B-format: WAVE_FORMAT_EXTENSIBLE, B-format SubFormat
  bool extensibleAlways = false;    // WAVE_FORMAT_EXTENSIBLE with the standard SubFormat

  // WAVE_FORMAT_EXTENSIBLE states the valid bits apart from the container,
  // and the B-format SubFormat.
  bool extensible() const { return ambisonic || extensibleAlways || validBits != bitsPerSample; }
  bool operator==(const OutputFormat&) const = default;
};

// What a chunked header holds besides its sizes.
struct ChunkedLayout {
  OutputFormat format;
  std::vector<std::byte> bext;  // with hasBext
  bool hasBext = false;
  std::vector<std::byte> ixml;  // empty: no iXML chunk
  bool fact = false;            // a fact chunk with the frame count
  bool reserved = false;        // the 36 bytes after "WAVE"
  bool bigEndian = false;       // "RIFX" and big-endian numbers

  std::uint64_t length() const;
};

// The sizes a chunked header states.
struct OutputSizes {
  std::uint64_t riffSize = 0;  // the output's length less 8, or the least it can be
  bool riffKnown = true;
  std::optional<std::uint64_t> dataSize;  // nothing until the frames are counted
  std::uint64_t frames = 0;
};

// One field of a header image and the kind of item it travels as, so that
// the output's byte-order settings reach its numbers as they reach the
// canonical header. 64-bit sizes travel as characters: no item converts them.
struct HeaderField {
  ItemKind kind;
  std::size_t offset;
  std::size_t length;
};

struct ChunkedHeader {
  std::vector<std::byte> image;
  std::vector<HeaderField> fields;
};

// The chunked header of `layout` stating `sizes`. With the 36 bytes
// reserved, an output whose RIFF size passes 32 bits is RF64 with a ds64
// chunk there; otherwise they are a JUNK chunk. A size that is not known
// reads 0xFFFFFFFF.
ChunkedHeader buildChunkedHeader(const ChunkedLayout& layout, const OutputSizes& sizes);

}  // namespace quadrel
