// Walking the chunks of a RIFF, RF64 or BW64 WAVE file, forward only.
//
// The walker reads each 8-byte chunk header, keeps what it needs of the
// fmt, ds64 and bext chunks, skips every other body (an odd size is
// followed by one pad byte) and stops right after the header of the data
// chunk, so that the source is left at the first sample byte. It trusts no
// size: bodies are skipped through a small buffer, nothing is allocated
// from a size beyond a fixed limit, and nothing is asked of the source
// past what a chunk header announces. It reads only through a ByteSource,
// so pipes and standard input work as well as files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quadrel {

// The bytes of a file, in order, once.
class ByteSource {
 public:
  // Fills [into, into + size) with the next bytes of the file. False when
  // the file ends first; what was filled then is unspecified.
  virtual bool read(std::byte* into, std::size_t size) = 0;

 protected:
  ~ByteSource() = default;
};

// A source over bytes in memory; it counts what it has handed out.
class SpanByteSource final : public ByteSource {
 public:
  explicit SpanByteSource(std::span<const std::byte> bytes) : bytes_(bytes) {}
  bool read(std::byte* into, std::size_t size) override;
  std::size_t consumed() const { return consumed_; }

 private:
  std::span<const std::byte> bytes_;
  std::size_t consumed_ = 0;
};

enum class WaveForm : std::uint8_t { riff, rf64, bw64, other };

// A 32-bit size that says "up to the end of the file" in a RIFF file, and
// "see ds64" in RF64 and BW64.
inline constexpr std::uint32_t sizeUpToTheEnd = 0xFFFFFFFF;
enum class SampleKind : std::uint8_t { pcm, ieeeFloat, other };

// The format tag of WAVE_FORMAT_EXTENSIBLE, whose SubFormat GUID names the
// samples.
inline constexpr std::uint16_t extensibleFormatTag = 0xFFFE;

// The lengths of an fmt chunk's body: the format fields alone, and with the
// WAVE_FORMAT_EXTENSIBLE extension (size, valid bits, channel mask, GUID).
inline constexpr std::size_t plainFormatLength = 16;
inline constexpr std::size_t extensibleFormatLength = 40;

// The last 12 bytes of the ambisonic B-format SubFormat GUIDs, the first 4
// holding the format tag: {xxxxxxxx-0721-11D3-8644-C8C1CA000000}, its first
// three fields little-endian.
inline constexpr unsigned char ambisonicSubFormatTail[12] = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44,
                                                             0xC8, 0xC1, 0xCA, 0x00, 0x00, 0x00};

// The form named by the first 12 bytes: "RIFF", "RF64" or "BW64", then a
// size, then "WAVE"; `other` for anything else.
WaveForm waveFormOf(std::span<const std::byte, 12> start);

// The sample kind of a format tag: PCM for 1, IEEE float for 3. For
// WAVE_FORMAT_EXTENSIBLE (0xFFFE) the kind comes from the 16 bytes of the
// SubFormat GUID, when there are any.
SampleKind sampleKindOf(std::uint16_t formatTag, const std::byte* subFormat);

// The fields of an fmt chunk of 16 bytes or more.
struct FormatFields {
  std::uint16_t formatTag = 0;  // as written: 0xFFFE for WAVE_FORMAT_EXTENSIBLE
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t byteRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;  // the container size
  SampleKind kind = SampleKind::other;

  bool operator==(const FormatFields&) const = default;
};

enum class WalkEnd : std::uint8_t {
  data,       // stopped at the first byte of the data chunk's body
  truncated,  // the source ended before the data chunk's body began
  notWave,    // the first 12 bytes are not a RIFF, RF64 or BW64 WAVE header
};

// The longest bext body that is kept; a longer one is skipped like any
// other chunk.
inline constexpr std::size_t bextLimit = std::size_t{1} << 20;

struct ChunkWalk {
  WalkEnd end = WalkEnd::truncated;
  WaveForm form = WaveForm::other;
  // The first fmt chunk before the data chunk, when it holds the 16 bytes
  // of fields; `shortFormat` when it was there but too short.
  std::optional<FormatFields> format;
  bool shortFormat = false;
  std::uint64_t dataStart = 0;  // file offset of the data chunk's body
  // The data length as the file gives it: the data chunk's size, or for
  // RF64 and BW64 the ds64 size. Nothing when the file says "up to its
  // end": 0xFFFFFFFF in a RIFF file (or in RF64/BW64 without ds64), or 0.
  std::optional<std::uint64_t> dataLength;
  // The body of the first bext chunk before the data, when asked for and
  // not longer than bextLimit.
  std::optional<std::vector<std::byte>> bext;
};

// Walks from the first byte of the file to the data chunk.
ChunkWalk walkChunks(ByteSource& source, bool keepBext);

}  // namespace quadrel
