// What a WAVE file's fmt chunk says, and the identifiers and sizes that
// both the reader and the writer of WAVE files use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quadrel {

enum class WaveForm : std::uint8_t { riff, rf64, bw64, other };
enum class SampleKind : std::uint8_t { pcm, ieeeFloat, other };

// A 32-bit size that says "up to the end of the file" in a RIFF file, and
// "see ds64" in RF64 and BW64.
inline constexpr std::uint32_t sizeUpToTheEnd = 0xFFFFFFFF;

// A chunk header: a 4-character id and a 32-bit size.
inline constexpr std::size_t chunkHeaderLength = 8;

// The format tag of WAVE_FORMAT_EXTENSIBLE, whose SubFormat GUID names the
// samples.
inline constexpr std::uint16_t extensibleFormatTag = 0xFFFE;

// The lengths of an fmt chunk's body: the format fields alone, and with the
// WAVE_FORMAT_EXTENSIBLE extension (size, valid bits, channel mask, GUID).
inline constexpr std::size_t plainFormatLength = 16;
inline constexpr std::size_t extensibleFormatLength = 40;

// The last 12 bytes of the SubFormat GUIDs, the first 4 holding the format
// tag, their first three fields little-endian: the standard WAVE ones
// {xxxxxxxx-0000-0010-8000-00AA00389B71} and the ambisonic B-format ones
// {xxxxxxxx-0721-11D3-8644-C8C1CA000000}.
inline constexpr unsigned char waveSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                        0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
inline constexpr unsigned char ambisonicSubFormatTail[12] = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44,
                                                             0xC8, 0xC1, 0xCA, 0x00, 0x00, 0x00};

// Whether the 4 bytes at `at` are the chunk id `id`.
bool hasId(const std::byte* at, std::string_view id);

// The form named by the first 12 bytes: "RIFF", "RF64" or "BW64", then a
// size, then "WAVE"; `other` for anything else.
WaveForm waveFormOf(std::span<const std::byte, 12> start);

// The sample kind of a format tag: PCM for 1, IEEE float for 3. For
// WAVE_FORMAT_EXTENSIBLE the kind comes from the 16 bytes of the SubFormat
// GUID, when there are any.
SampleKind sampleKindOf(std::uint16_t formatTag, const std::byte* subFormat);

// The fields of an fmt chunk.
struct FormatFields {
  std::uint16_t formatTag = 0;  // as written: 0xFFFE for WAVE_FORMAT_EXTENSIBLE
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t byteRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;  // the container size
  SampleKind kind = SampleKind::other;
  // The bits of each container that carry the sample: the extension's
  // valid bits where it gives them, else the bits per sample.
  std::uint16_t validBits = 0;

  bool operator==(const FormatFields&) const = default;
};

// The fields of an fmt body of which `length` bytes, 16 or more, are given.
FormatFields decodeFormat(const std::byte* body, std::size_t length);

// Reverses the bytes of a number of `width` bytes in place: a big-endian
// number of a RIFX file turned into the little-endian one the rest reads.
void reverseNumber(std::byte* at, std::size_t width);

// Turns the numbers of the first `length` bytes of a RIFX fmt body into
// little-endian ones, field by field.
void reverseFormatNumbers(std::byte* body, std::size_t length);

// sox, writing to a pipe, states a data size of 0x7FFFF000 rounded down to
// a whole number of frames, and a RIFF size that matches it, instead of its
// real sizes. Whether `dataSize` and `riffSize` are that placeholder for a
// data chunk whose body begins at `dataStart`.
bool isStreamingPlaceholder(std::uint32_t dataSize, std::uint32_t riffSize, std::uint64_t dataStart,
                            std::uint16_t blockAlign);

}  // namespace quadrel
