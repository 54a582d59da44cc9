// Reading the chunks of a RIFF, RF64 or BW64 WAVE file up to its data
// chunk, from the bytes of the file handed in as they are read.
//
// The parser is given the file's bytes in order, in pieces of any size, and
// says how many more it wants; it never asks for a byte past the header of
// the data chunk, so the reader that feeds it is left at the first sample.
// It keeps what it needs of the fmt, ds64, bext and iXML chunks and passes over
// every other body (an odd size is followed by a pad byte). It trusts no
// size: it keeps at most a fixed number of bytes of any body, so nothing
// is allocated from a size beyond a fixed limit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "converter/wave_format.h"

namespace quadrel {

// The longest bext and iXML bodies that are kept; a longer one is passed
// over like any other chunk.
inline constexpr std::size_t bextLimit = std::size_t{1} << 20;
inline constexpr std::size_t ixmlLimit = std::size_t{1} << 20;

// What the chunks before the data say.
struct ParsedWave {
  WaveForm form = WaveForm::other;
  bool bigEndian = false;      // a RIFX file: a RIFF file of big-endian numbers
  std::uint32_t riffSize = 0;  // the size field after the form's id
  // The first fmt chunk before the data chunk, when it holds the 16 bytes
  // of fields; `shortFormat` when it was there but too short.
  std::optional<FormatFields> format;
  bool shortFormat = false;
  // RF64 and BW64: the sizes of the first ds64 chunk, when it holds them.
  std::optional<std::uint64_t> ds64RiffSize;
  std::optional<std::uint64_t> ds64DataSize;
  std::uint64_t dataStart = 0;  // file offset of the data chunk's body
  std::uint32_t dataSize = 0;   // the data chunk's size field
  // The bodies of the first bext and iXML chunks before the data, when
  // asked for and not longer than their limits.
  std::optional<std::vector<std::byte>> bext;
  std::optional<std::vector<std::byte>> ixml;
};

class WaveParser {
 public:
  // `keepMetadata`: keep the bext and iXML bodies. `readsRifx`: a RIFX file
  // is read as a RIFF file of big-endian numbers; otherwise it is no WAVE
  // file.
  explicit WaveParser(bool keepMetadata, bool readsRifx = false)
      : keepMetadata_(keepMetadata), readsRifx_(readsRifx) {}

  // How many more bytes the parser wants before it can go on: 0 once it
  // has stopped, at the data chunk or at the first 12 bytes of a file of
  // another form. A body may be handed in a piece at a time.
  std::uint64_t wanted() const;

  // Takes the next bytes of the file. Bytes after the parser has stopped
  // are left alone.
  void take(std::span<const std::byte> bytes);

  bool atData() const { return stage_ == Stage::data; }
  bool notWave() const { return stage_ == Stage::notWave; }
  const ParsedWave& parsed() const { return parsed_; }

 private:
  enum class Stage : std::uint8_t { fileHeader, chunkHeader, body, data, notWave };

  void finishHead();
  void finishBody();

  // The body whose bytes are being kept whole.
  enum class Taking : std::uint8_t { none, bext, ixml };

  bool keepMetadata_;
  bool readsRifx_;
  Stage stage_ = Stage::fileHeader;
  ParsedWave parsed_;
  std::uint64_t offset_ = 0;  // of the next byte taken
  // The bytes of the file header, a chunk header, or the part of a body
  // that is kept.
  std::array<std::byte, extensibleFormatLength> head_{};
  std::size_t headFilled_ = 0;
  std::array<std::byte, 4> chunkId_{};
  std::uint64_t bodyLeft_ = 0;  // body and pad byte still to come
  std::size_t keep_ = 0;        // of the body's first bytes, how many are kept
  std::size_t kept_ = 0;
  bool formatSeen_ = false;
  bool ds64Seen_ = false;
  std::vector<std::byte> taken_;
  Taking taking_ = Taking::none;
};

}  // namespace quadrel
