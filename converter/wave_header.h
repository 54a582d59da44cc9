// The headers of the two inputs, and the checks that decide whether they
// can be combined.
//
// A canonical input ("RIFF", "WAVEfmt ", fmt length 16, "data" at byte 36)
// and an input that is no RIFF, RF64 or BW64 WAVE file at all are read at
// the fixed positions of the 44-byte header, in four groups, each one read
// request:
//   A  bytes  0-15  RIFF id, RIFF size, WAVE-fmt id
//   B  bytes 16-23  fmt length, format tag, channel count
//   C  bytes 24-31  sampling rate, byte rate
//   D  bytes 32-43  block align, bits per sample, data id, data length
// Every other WAVE file has its chunks walked up to the data chunk, going
// on from where the group reads stopped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "converter/chunk_walker.h"

namespace quadrel {

// Fields kept once: the YZ reads overwrite the WX values, so after the
// checks they hold the YZ file's values. A walked input leaves the values of
// the canonical header that describes its samples.
struct SharedHeaderFields {
  std::array<char, 4> riffId{};     // offset 0, 4 characters
  std::array<char, 8> waveFmtId{};  // offset 8, 8 characters
  std::int32_t fmtLength = 0;       // offset 16, 4 bytes
  std::int16_t formatTag = 0;       // offset 20, 2 bytes
  std::int16_t blockAlign = 0;      // offset 32, 2 bytes
  std::array<char, 4> dataId{};     // offset 36, 4 characters
};

// Fields kept for each input separately. A walked input leaves those of the
// canonical header that describes its samples: its fmt values, the low 32
// bits of its data length, and the RIFF size that goes with them.
struct InputHeaderFields {
  std::int32_t riffSize = 0;       // offset 4, 4 bytes
  std::int16_t channelCount = 0;   // offset 22, 2 bytes
  std::int32_t samplingRate = 0;   // offset 24, 4 bytes
  std::int32_t byteRate = 0;       // offset 28, 4 bytes
  std::int16_t bitsPerSample = 0;  // offset 34, 2 bytes
  std::int32_t dataLength = 0;     // offset 40, 4 bytes
};

// How one input was read and where its samples lie.
struct InputLayout {
  bool walked = false;  // chunks walked; otherwise read at the fixed positions
  WaveForm form = WaveForm::other;
  std::uint16_t formatTag = 0;  // as written: 0xFFFE for WAVE_FORMAT_EXTENSIBLE
  SampleKind sampleKind = SampleKind::other;
  std::int16_t blockAlign = 0;  // this input's own
  // Bytes of sample data; nothing when they run to the end of a stream
  // whose length is not known. A walked regular file never claims more
  // than it holds.
  std::optional<std::uint64_t> dataLength;
  bool lengthFromTheEnd = false;  // the file states no length: its data runs to its end
  std::uint64_t dataStart = 0;    // file offset of the first frame
  // File offset just after the data chunk and its pad byte, never past the
  // end of a regular file; nothing when the length is not known.
  std::optional<std::uint64_t> dataEnd;
  std::optional<std::vector<std::byte>> bext;  // the WX file's bext body, up to bextLimit
};

struct WaveHeader {
  SharedHeaderFields shared;
  InputHeaderFields wx;
  InputHeaderFields yz;
  InputLayout wxLayout;
  InputLayout yzLayout;
};

// The byte images of the header groups, as read: little-endian fields at
// their offsets within the group.
inline constexpr std::size_t groupALength = 16;
inline constexpr std::size_t groupBLength = 8;
inline constexpr std::size_t groupCLength = 8;
inline constexpr std::size_t groupDLength = 12;

// Each takes the fields of one group from its image into the shared and the
// per-input fields; no field is checked here.
void decodeGroupA(const std::byte* image, SharedHeaderFields& shared, InputHeaderFields& input);
void decodeGroupB(const std::byte* image, SharedHeaderFields& shared, InputHeaderFields& input);
void decodeGroupC(const std::byte* image, InputHeaderFields& input);
void decodeGroupD(const std::byte* image, SharedHeaderFields& shared, InputHeaderFields& input);

// Data length divided by block align, truncated toward zero (a negative
// block align gives a negative count); nothing when the block align is 0.
std::optional<std::int64_t> frameCount(std::uint64_t dataLength, std::int16_t blockAlign);

// The checks, each returning the message of the first one that fails.
std::optional<std::string_view> checkWxStereo(const InputHeaderFields& wx);
std::optional<std::string_view> compareAfterGroupC(const InputHeaderFields& wx, const InputHeaderFields& yz);
// Data lengths are compared only when both are known.
std::optional<std::string_view> compareAfterGroupD(const InputHeaderFields& wx, const InputLayout& wxLayout,
                                                   const InputHeaderFields& yz, const InputLayout& yzLayout);
// A walked input must have an fmt chunk before its data, of PCM or IEEE
// float samples.
std::optional<std::string_view> checkWalkedFormat(const ChunkWalk& walk);
std::optional<std::string_view> checkSampleKind(const InputLayout& layout);
// A frame must be made of whole bytes per sample: the block align is the
// channel count times the bytes of one sample.
std::optional<std::string_view> checkSampleWidth(const InputHeaderFields& input, const InputLayout& layout);

// A frame count; nothing when the data runs to the end of a stream whose
// length is not known.
using Frames = std::optional<std::int64_t>;

// Reads the WX header from unit 1 with its stereo check. Returns the WX
// frame count. A rejected header writes its error record and stops the run.
Frames readWxHeader(WaveHeader& header);

// Reads the YZ header from unit 2 and compares it with the WX values.
// Returns the conversion frame count (WX data length by YZ block align).
Frames readAndCompareYzHeader(WaveHeader& header);

}  // namespace quadrel
