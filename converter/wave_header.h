// The 44-byte canonical WAV header of the two inputs, and the checks that
// decide whether they can be combined.
//
// Every field is read at its fixed position; chunk identifiers are never
// examined. The header is read in four groups, each one read request:
//   A  bytes  0-15  RIFF id, RIFF size, WAVE-fmt id
//   B  bytes 16-23  fmt length, format tag, channel count
//   C  bytes 24-31  sampling rate, byte rate
//   D  bytes 32-43  block align, bits per sample, data id, data length
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quadrel {

// Fields kept once: the YZ reads overwrite the WX values, so after the
// checks they hold the YZ file's values.
struct SharedHeaderFields {
  std::array<char, 4> riffId{};     // offset 0, 4 characters
  std::array<char, 8> waveFmtId{};  // offset 8, 8 characters
  std::int32_t fmtLength = 0;       // offset 16, 4 bytes
  std::int16_t formatTag = 0;       // offset 20, 2 bytes
  std::int16_t blockAlign = 0;      // offset 32, 2 bytes
  std::array<char, 4> dataId{};     // offset 36, 4 characters
};

// Fields kept for each input separately.
struct InputHeaderFields {
  std::int32_t riffSize = 0;       // offset 4, 4 bytes
  std::int16_t channelCount = 0;   // offset 22, 2 bytes
  std::int32_t samplingRate = 0;   // offset 24, 4 bytes
  std::int32_t byteRate = 0;       // offset 28, 4 bytes
  std::int16_t bitsPerSample = 0;  // offset 34, 2 bytes
  std::int32_t dataLength = 0;     // offset 40, 4 bytes
};

struct WaveHeader {
  SharedHeaderFields shared;
  InputHeaderFields wx;
  InputHeaderFields yz;
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

// Data length divided by block align, truncated toward zero; nothing when
// the division is impossible (block align 0) or overflows (-2^31 by -1).
std::optional<std::int32_t> frameCount(std::int32_t dataLength, std::int16_t blockAlign);

// The checks, each returning the message of the first one that fails.
std::optional<std::string_view> checkWxStereo(const InputHeaderFields& wx);
std::optional<std::string_view> compareAfterGroupC(const InputHeaderFields& wx, const InputHeaderFields& yz);
std::optional<std::string_view> compareAfterGroupD(const InputHeaderFields& wx, const InputHeaderFields& yz);

// Reads the WX header from unit 1 with its stereo check. Returns the WX
// frame count. A rejected header writes its error record and stops the run.
std::int32_t readWxHeader(WaveHeader& header);

// Reads the YZ header from unit 2 and compares it with the WX values.
// Returns the conversion frame count (WX data length by YZ block align).
std::int32_t readAndCompareYzHeader(WaveHeader& header);

}  // namespace quadrel
