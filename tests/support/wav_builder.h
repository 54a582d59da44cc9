// WAV files for tests: a builder in which every field of the 44-byte header
// can take any value, nonsense included; a reader of those 44 bytes; and the
// four-channel result expected from a pair of inputs, derived here on its
// own, without the program's code. Beside them, files laid out chunk by
// chunk in any order, and a reader of such layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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

// A chunk with its 4-character id, its length field and its body, and the
// pad byte after an odd body.
std::string chunk(std::string_view id, std::string_view body);

// A chunk header whose size field says `size`, then `body`, nothing more.
std::string chunkWithSize(std::string_view id, std::uint32_t size, std::string_view body);

// The header fields of the first 44 bytes; nothing when there are fewer.
std::optional<WavHeaderFields> readWavHeader(std::string_view bytes);

// The output expected from converting `wx` and `yz`: the four-channel
// header derived from both headers, then W X Y Z frames of two samples of
// whole bytes from each file, then every WX byte after the last frame taken. Nothing when either
// header is shorter than 44 bytes, the frame count cannot be computed
// (block align 0), or an input is too short for the frames (the program
// fails with end-of-file there).
std::optional<std::string> expectedConversion(std::string_view wx, std::string_view yz);

// ---- Chunk layouts ---------------------------------------------------------

// The 16 bytes of fmt fields. Unset: the canonical values.
struct FormatSpec {
  std::uint16_t tag = 1;
  std::uint16_t channels = 2;
  std::uint32_t sampleRate = 44100;
  std::uint16_t bitsPerSample = 16;
  std::optional<std::uint16_t> blockAlign;  // default: channels * whole bytes per sample
  std::optional<std::uint32_t> byteRate;    // default: sampleRate * block align

  std::uint16_t align() const;
  bool operator==(const FormatSpec&) const = default;
};

std::string formatBody(const FormatSpec& format);

// WAVE_FORMAT_EXTENSIBLE (40 bytes): the fields with tag 0xFFFE, extension
// size 22, `validBits`, channel mask 3 and the SubFormat GUID of the format
// tag `subFormat` (1 PCM, 3 IEEE float, 7 mu-law, ...).
std::string extensibleBody(FormatSpec format, std::uint16_t validBits, std::uint16_t subFormat);

// A bext body of 602 bytes: a description, TimeReference at offset 338,
// version 1; then `history` as its CodingHistory.
std::string bextBody(std::uint64_t timeReference, std::string_view history = "");

// A ds64 body without a table.
std::string ds64Body(std::uint64_t riffSize, std::uint64_t dataSize, std::uint64_t sampleCount);

// `form` ("RIFF", "RF64", "BW64", ...), the RIFF size (default: the real
// one; 0xFFFFFFFF for RF64 and BW64), "WAVE", then the chunks.
std::string waveFile(std::string_view form, const std::vector<std::string>& chunks,
                     std::optional<std::uint32_t> riffSize = std::nullopt);

// What a chunked WAVE file says, read on its own terms.
struct WavLayout {
  std::string form;
  std::optional<FormatSpec> format;  // the first fmt chunk, when it holds 16 bytes
  bool formatTooShort = false;       // the first fmt chunk holds fewer
  int sampleKind = 0;                // 1 PCM, 3 IEEE float, 0 anything else
  std::uint64_t dataStart = 0;
  // As declared; nothing for "up to the end of the file", which a size of
  // 0xFFFFFFFF or 0 says, and sox's placeholder when the file is shorter.
  std::optional<std::uint64_t> dataLength;
  std::optional<std::string> bext;  // kept up to 1 MiB
  std::optional<std::string> ixml;  // the same
  std::uint16_t validBits = 0;      // the extension's, else the bits per sample
  // Where the RIFF size (or the ds64 one) ends the file; nothing when unsaid.
  std::optional<std::uint64_t> riffEnd;
};

// The layout of a RIFF, RF64 or BW64 WAVE file up to its data chunk;
// nothing when the bytes are no such file or end before the data begins.
std::optional<WavLayout> readWavLayout(std::string_view file);

// How a chunked output is laid out.
struct ChunkedOutput {
  bool ambisonic = false;  // .amb: a 40-byte fmt chunk, B-format SubFormat, no channel mask
  bool reserved = false;   // a JUNK chunk of 28 bytes right after "WAVE"
  // The frames converted when an input's data ended first; otherwise all
  // the WX data holds.
  std::optional<std::uint64_t> frames = std::nullopt;
  // AmbiX: W Y Z X, W times the square root of 2, as IEEE floats of 32 bits
  // (64 for 32-bit integers and 64-bit floats), WAVE_FORMAT_EXTENSIBLE.
  bool ambix = false;
  // Two files on one timeline: `frames` frames from frame `skipWx` of the
  // WX file and `skipYz` of the YZ file, the WX chunks after the data
  // behind them, and `bext` (nothing: no bext chunk) in place of the WX one.
  struct Aligned {
    std::uint64_t skipWx = 0, skipYz = 0;
    std::optional<std::string> bext;
  };
  std::optional<Aligned> aligned = std::nullopt;
  // The output's iXML body; unset: the small one written when the WX file
  // has no iXML that can be carried.
  std::optional<std::string> ixml = std::nullopt;
};

// What the output's iXML names: its TRACK_LIST, with `newline` between
// elements, and the sentence of its NOTE, for W X Y Z or, under --ambix,
// W Y Z X.
std::string expectedTrackList(bool ambix, std::string_view newline = "\n");
std::string expectedConventionNote(bool ambix);
// The small iXML of an output whose WX file has none it can carry.
std::string expectedSmallIxml(bool ambix);
// The recorder's iXML of the tests (the iXML fuzz target's seed
// recorder_crlf) as an output carries it: the NUL padding dropped, the
// convention after its note, four tracks, and its time references, which
// say 2073600000, those of `timeReference` when the output has one.
std::string expectedRecorderIxml(std::string ixml, bool ambix, std::optional<std::uint64_t> timeReference);

// The output expected from a pair that does not keep the 44-byte header,
// each file read on its own terms: "RIFF", the real length less 8, "WAVE",
// [JUNK], the WX bext chunk with the conversion's CodingHistory line, the
// iXML chunk, a four-channel fmt chunk (tag 1 or 3, the YZ
// block align doubled, the WX rate, the container bits; 40 bytes where the
// valid bits differ or for .amb), a fact chunk unless plain PCM, "data"
// with the frames' length, the frames, then the WX file's chunks after its
// data chunk and pad byte: each whole inside the file and the RIFF size,
// up to the first that is not, less those about two channels or samples
// and the iXML chunk, which the output has in its header.
// Nothing when a file is no WAVE layout or holds too few frames.
std::optional<std::string> expectedChunkedConversion(std::string_view wx, std::string_view yz,
                                                     const ChunkedOutput& output = {});

// The WX chunks, from offset `from` on, that such an output takes.
std::string expectedTailChunks(std::string_view wx, const WavLayout& layout, std::uint64_t from);

}  // namespace quadrel::harness
