// The converter's pure rules: frame counts, the chunk walker and the
// wrapping arithmetic of the four-channel header.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/chunk_walker.h"
#include "converter/output_header.h"
#include "converter/wave_header.h"
#include "services/units/little_endian.h"
#include "tests/support/wav_builder.h"

namespace quadrel {
namespace {

TEST(FrameCount, TruncatesTowardZeroAndRefusesImpossibleDivisions) {
  EXPECT_EQ(frameCount(4000, 4), 1000);
  EXPECT_EQ(frameCount(4003, 4), 1000);
  EXPECT_EQ(frameCount(3, 4), 0);
  EXPECT_EQ(frameCount(4000, -4), -1000);
  EXPECT_EQ(frameCount(4000, 0), std::nullopt);
  // Data lengths are unsigned, and 64-bit for RF64.
  EXPECT_EQ(frameCount(0x80000000u, 4), 0x20000000);
  EXPECT_EQ(frameCount(0xFFFFFFFFu, -1), -0xFFFFFFFFLL);
  EXPECT_EQ(frameCount(std::uint64_t{1} << 40, 6), (std::int64_t{1} << 40) / 6);
  EXPECT_EQ(frameCount(std::numeric_limits<std::uint64_t>::max(), 1),
            std::numeric_limits<std::int64_t>::max());
}

// The walker on bytes in memory.
struct WalkCase {
  const char* name;
  std::string file;
  WalkEnd end;
  std::uint64_t dataStart = 0;
  std::optional<std::uint64_t> dataLength;
  SampleKind kind = SampleKind::pcm;  // of the fmt chunk; other when there is none
};

std::vector<WalkCase> walkCases() {
  using namespace harness;
  const std::string fmt = chunk("fmt ", formatBody({}));
  const std::string data = chunk("data", std::string(40, 'd'));
  auto withBits = [](std::uint16_t bits) {
    FormatSpec format;
    format.bitsPerSample = bits;
    return format;
  };
  const std::string streamed = chunkWithSize("data", 0xFFFFFFFF, std::string(40, 'd'));
  return {
      {"Canonical", buildWav(stereo16(10, 1)), WalkEnd::data, 44, 40},
      {"OddChunksBeforeFmtWithTheirPad",
       waveFile("RIFF", {chunk("JUNK", std::string(27, 'j')), chunk("iXML", "<BWFXML/>"), fmt, data}),
       WalkEnd::data, 98, 40},
      {"ExtensibleFloat", waveFile("RIFF", {chunk("fmt ", extensibleBody(withBits(32), 32, 3)), data}),
       WalkEnd::data, 68, 40, SampleKind::ieeeFloat},
      {"ExtensibleMuLaw", waveFile("RIFF", {chunk("fmt ", extensibleBody(withBits(8), 8, 7)), data}),
       WalkEnd::data, 68, 40, SampleKind::other},
      {"Rf64SizeFromDs64",
       waveFile("RF64",
                {chunk("ds64", ds64Body(0, 0x123456789, 0)), fmt, chunkWithSize("data", 0xFFFFFFFF, "")}),
       WalkEnd::data, 80, 0x123456789},
      {"Bw64WithoutDs64RunsToTheEnd", waveFile("BW64", {fmt, streamed}), WalkEnd::data, 44, std::nullopt},
      {"StreamedRiffRunsToTheEnd", waveFile("RIFF", {fmt, chunk("LIST", "INFO"), streamed}), WalkEnd::data,
       56, std::nullopt},
      {"ZeroSizeRunsToTheEnd", waveFile("RIFF", {fmt, chunkWithSize("data", 0, "dd")}), WalkEnd::data, 44,
       std::nullopt},
      {"NoFmtBeforeTheData", waveFile("RIFF", {data, fmt}), WalkEnd::data, 20, 40, SampleKind::other},
      {"ShortFmt", waveFile("RIFF", {chunk("fmt ", std::string(14, '\1')), data}), WalkEnd::data, 42, 40,
       SampleKind::other},
      {"EndsInsideAChunkHeader", waveFile("RIFF", {fmt, data}).substr(0, 40), WalkEnd::truncated, 0,
       std::nullopt},
      {"EndsInsideThePadByte", waveFile("RIFF", {chunk("JUNK", "j"), data}).substr(0, 21), WalkEnd::truncated,
       0, std::nullopt},
      {"SizeNearTwoToThe32", waveFile("RIFF", {chunkWithSize("JUNK", 0xFFFFFFFE, ""), fmt, data}),
       WalkEnd::truncated, 0, std::nullopt},
      {"NotWave", waveFile("RIFX", {fmt, data}), WalkEnd::notWave, 0, std::nullopt},
  };
}

TEST(ChunkWalker, StopsAtTheDataOrWhereTheBytesEnd) {
  for (const WalkCase& c : walkCases()) {
    SCOPED_TRACE(c.name);
    SpanByteSource source(std::as_bytes(std::span(c.file)));
    const ChunkWalk walk = walkChunks(source, false);
    EXPECT_LE(source.consumed(), c.file.size());
    ASSERT_EQ(walk.end, c.end);
    if (c.end != WalkEnd::data) continue;
    EXPECT_EQ(walk.dataStart, c.dataStart);
    EXPECT_EQ(source.consumed(), c.dataStart) << "the source is left at the first sample";
    EXPECT_EQ(walk.dataLength, c.dataLength);
    EXPECT_EQ(walk.format ? walk.format->kind : SampleKind::other, c.kind);
  }
}

TEST(ChunkWalker, KeepsTheBextBodyOnlyWhenAskedAndUpToItsLimit) {
  const std::string fmt = harness::chunk("fmt ", harness::formatBody({}));
  for (std::size_t size : {std::size_t{603}, bextLimit, bextLimit + 2}) {
    const std::string file = harness::waveFile(
        "RIFF", {harness::chunk("bext", std::string(size, 'b')), fmt, harness::chunk("data", "")});
    for (bool keep : {false, true}) {
      SpanByteSource source(std::as_bytes(std::span(file)));
      const ChunkWalk walk = walkChunks(source, keep);
      EXPECT_EQ(walk.end, WalkEnd::data);
      EXPECT_EQ(walk.bext.value_or(std::vector<std::byte>()).size(), keep && size <= bextLimit ? size : 0)
          << size;
    }
  }
}

InputHeaderFields stereo16() {
  InputHeaderFields fields;
  fields.channelCount = 2;
  fields.samplingRate = 44100;
  fields.byteRate = 176400;
  fields.bitsPerSample = 16;
  fields.dataLength = 4000;
  return fields;
}

WaveHeader canonicalPair() {
  WaveHeader header;
  header.shared.riffId = {'R', 'I', 'F', 'F'};
  header.shared.waveFmtId = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  header.shared.fmtLength = 16;
  header.shared.formatTag = 1;
  header.shared.blockAlign = 4;
  header.shared.dataId = {'d', 'a', 't', 'a'};
  header.wx = stereo16();
  header.wx.riffSize = 36 + 4000;
  header.yz = header.wx;
  return header;
}

struct Fields {
  std::int32_t riffSize, fmtLength, rate, byteRate, dataLength;
  std::int16_t formatTag, channels, blockAlign, bits;
};

Fields decode(const OutputHeader& out) {
  const std::byte* h = out.image.data();
  return {loadInt32Le(h + 4),  loadInt32Le(h + 16), loadInt32Le(h + 24),
          loadInt32Le(h + 28), loadInt32Le(h + 40), loadInt16Le(h + 20),
          loadInt16Le(h + 22), loadInt16Le(h + 32), loadInt16Le(h + 34)};
}

TEST(OutputHeader, SharedFieldsComeFromTheYzFileAndArithmeticWraps) {
  WaveHeader header = canonicalPair();
  header.shared.formatTag = 3;       // as left by the YZ read
  header.shared.blockAlign = 20000;  // doubled, it no longer fits 16 bits
  header.wx.riffSize = std::numeric_limits<std::int32_t>::max();
  header.wx.samplingRate = 1 << 30;
  Fields f = decode(buildOutputHeader(header, 3));
  EXPECT_EQ(f.formatTag, 3);
  EXPECT_EQ(f.blockAlign, static_cast<std::int16_t>(40000 - 65536));
  EXPECT_EQ(f.riffSize, static_cast<std::int32_t>(0x7FFFFFFFu + 4000u));
  EXPECT_EQ(f.byteRate, static_cast<std::int32_t>((1u << 30) * static_cast<std::uint32_t>(-25536)));
  EXPECT_EQ(f.dataLength, -25536 * 3);
}

// The chunked header's form and size fields for sizes that whole runs reach
// only past 4 GiB or on an output that cannot be written again; its fields
// cover the image, each number an item of its own width, so that byte-order
// settings reach them.
struct ChunkedCase {
  const char* name;
  bool reserved;
  OutputSizes sizes;
  const char* form;
  std::uint32_t riffField;
  const char* slot;  // the chunk after "WAVE"
  std::uint32_t dataField;
};

TEST(ChunkedHeader, StatesItsSizesWithoutWrappingInEveryForm) {
  constexpr std::uint64_t fiveGib = std::uint64_t{5} << 30;
  const ChunkedCase cases[] = {
      {"UnknownSizesReadToTheEnd",
       true,
       {60, false, std::nullopt, 0},
       "RIFF",
       0xFFFFFFFF,
       "JUNK",
       0xFFFFFFFF},
      {"KnownDataUnknownTail", true, {1000, false, 900, 100}, "RIFF", 0xFFFFFFFF, "JUNK", 900},
      {"PastFourGibTheReservedRoomBecomesDs64",
       true,
       {fiveGib, true, fiveGib - 700, 12345},
       "RF64",
       0xFFFFFFFF,
       "ds64",
       0xFFFFFFFF},
      {"PastFourGibWithoutRoomReadsToTheEnd",
       false,
       {fiveGib, true, fiveGib - 60, 7},
       "RIFF",
       0xFFFFFFFF,
       "fmt ",
       0xFFFFFFFF},
  };
  for (const ChunkedCase& c : cases) {
    SCOPED_TRACE(c.name);
    ChunkedLayout layout;
    layout.format = {1, 48000, 12, 24, false};
    layout.reserved = c.reserved;
    const ChunkedHeader header = buildChunkedHeader(layout, c.sizes);
    const std::byte* h = header.image.data();
    auto id = [&](std::size_t at) { return std::string(reinterpret_cast<const char*>(h + at), 4); };
    ASSERT_EQ(header.image.size(), layout.length());
    EXPECT_EQ(id(0), c.form);
    EXPECT_EQ(loadUint32Le(h + 4), c.riffField);
    EXPECT_EQ(id(12), c.slot);
    if (std::string_view(c.slot) == "ds64") {
      EXPECT_EQ(loadUint64Le(h + 20), c.sizes.riffSize);
      EXPECT_EQ(loadUint64Le(h + 28), c.sizes.dataSize);
      EXPECT_EQ(loadUint64Le(h + 36), c.sizes.frames);
    }
    EXPECT_EQ(loadUint32Le(h + header.image.size() - 4), c.dataField);
    std::size_t next = 0;
    for (const HeaderField& field : header.fields) {
      EXPECT_EQ(field.offset, next);
      EXPECT_TRUE(field.kind == ItemKind::characters || field.length == itemLength(field.kind));
      next = field.offset + field.length;
    }
    EXPECT_EQ(next, header.image.size());
  }
}

}  // namespace
}  // namespace quadrel
