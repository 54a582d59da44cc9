// WAV files for tests: a builder in which every field of the 44-byte header
// can take any value, nonsense included; a reader of those 44 bytes; and the
// four-channel result expected from a pair of inputs, derived here on its
// own, without the program's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace quadrel::harness {

// The 44 header bytes as fields, in file order.
struct WavHeaderFields {
  std::string riffId;          // offset 0, 4 characters
  std::int32_t riffSize;       // offset 4
  std::string waveFmtId;       // offset 8, 8 characters
  std::int32_t fmtLength;      // offset 16
  std::int16_t formatTag;      // offset 20
  std::int16_t channels;       // offset 22
  std::int32_t sampleRate;     // offset 24
  std::int32_t byteRate;       // offset 28
  std::int16_t blockAlign;     // offset 32
  std::int16_t bitsPerSample;  // offset 34
  std::string dataId;          // offset 36, 4 characters
  std::int32_t dataLength;     // offset 40

  bool operator==(const WavHeaderFields&) const = default;
};

// Prints the fields by name in failure messages.
void PrintTo(const WavHeaderFields& header, std::ostream* out);

// What to build. Unset fields take the canonical value computed from the
// others; identifiers are cut or zero-padded to their width.
struct WavSpec {
  std::string riffId = "RIFF";
  std::optional<std::int32_t> riffSize;  // default: 36 + sample bytes + trailing bytes
  std::string waveFmtId = "WAVEfmt ";
  std::int32_t fmtLength = 16;
  std::int16_t formatTag = 1;
  std::int16_t channels = 2;
  std::int32_t sampleRate = 44100;
  std::optional<std::int32_t> byteRate;    // default: sampleRate * block align
  std::optional<std::int16_t> blockAlign;  // default: channels * bytes per sample
  std::int16_t bitsPerSample = 16;
  std::string dataId = "data";
  std::optional<std::int32_t> dataLength;  // default: the number of sample bytes

  // Sample data: `frames` frames of the pattern of `seed`, sized by the
  // channel count and the bytes per sample (at least one of each), unless
  // `sampleBytes` gives the data outright.
  std::int32_t frames = 0;
  std::uint32_t seed = 1;
  std::optional<std::string> sampleBytes;
  std::string trailing;  // after the sample data, e.g. a LIST chunk
};

// A stereo 16-bit file of `frames` frames at 44100 Hz with the given pattern.
WavSpec stereo16(std::int32_t frames, std::uint32_t seed);

// `count` bytes that differ between seeds and along the data, so that a
// byte moved to the wrong frame or channel shows.
std::string samplePattern(std::uint32_t seed, std::size_t count);

std::string buildWav(const WavSpec& recipe);

// A chunk with its 4-character id, its length field and its body.
std::string chunk(std::string_view id, std::string_view body);

// The header fields of the first 44 bytes; nothing when there are fewer.
std::optional<WavHeaderFields> readWavHeader(std::string_view bytes);

// The output expected from converting `wx` and `yz`: the four-channel
// header derived from both headers, then W X Y Z frames for 16, 24 and 32
// bits, then every WX byte after the last frame taken. Nothing when either
// header is shorter than 44 bytes, the frame count cannot be computed
// (block align 0, or -1 with the lowest data length), or an input is too
// short for the frames (the program fails with end-of-file there).
std::optional<std::string> expectedConversion(std::string_view wx, std::string_view yz);

}  // namespace quadrel::harness
