// The converter's pure rules: frame counts, the chunk parser, the
// four-channel headers, the XML reader and iXML rewrite, and the sound
// offset search.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "converter/bext_edit.h"
#include "converter/input_checks.h"
#include "converter/ixml_chunk.h"
#include "converter/output_header.h"
#include "converter/sample_decoding.h"
#include "converter/sound_offset.h"
#include "converter/wave_parser.h"
#include "converter/xml_document.h"
#include "services/units/little_endian.h"
#include "tests/support/bformat_scene.h"
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

// The parser on bytes in memory, handed in whole and in pieces.
struct ParseCase {
  const char* name;
  std::string file;
  bool atData;  // otherwise it wants more, or stopped at a file of another form
  std::uint64_t dataStart = 0;
  std::uint32_t dataSize = 0;
  std::optional<std::uint64_t> ds64DataSize = std::nullopt;
  SampleKind kind = SampleKind::pcm;  // of the fmt chunk; other when there is none
};

std::vector<ParseCase> parseCases() {
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
      {"Canonical", buildWav(stereo16(10, 1)), true, 44, 40},
      {"OddChunksBeforeFmtWithTheirPad",
       waveFile("RIFF", {chunk("JUNK", std::string(27, 'j')), chunk("iXML", "<BWFXML/>"), fmt, data}), true,
       98, 40},
      {"ExtensibleFloat", waveFile("RIFF", {chunk("fmt ", extensibleBody(withBits(32), 32, 3)), data}), true,
       68, 40, std::nullopt, SampleKind::ieeeFloat},
      {"ExtensibleMuLaw", waveFile("RIFF", {chunk("fmt ", extensibleBody(withBits(8), 8, 7)), data}), true,
       68, 40, std::nullopt, SampleKind::other},
      {"Rf64SizeFromDs64",
       waveFile("RF64",
                {chunk("ds64", ds64Body(0, 0x123456789, 0)), fmt, chunkWithSize("data", 0xFFFFFFFF, "")}),
       true, 80, 0xFFFFFFFF, 0x123456789},
      {"Bw64WithoutDs64", waveFile("BW64", {fmt, streamed}), true, 44, 0xFFFFFFFF},
      {"StreamedRiff", waveFile("RIFF", {fmt, chunk("LIST", "INFO"), streamed}), true, 56, 0xFFFFFFFF},
      {"NoFmtBeforeTheData", waveFile("RIFF", {data, fmt}), true, 20, 40, std::nullopt, SampleKind::other},
      {"ShortFmt", waveFile("RIFF", {chunk("fmt ", std::string(14, '\1')), data}), true, 42, 40, std::nullopt,
       SampleKind::other},
      {"EndsInsideAChunkHeader", waveFile("RIFF", {fmt, data}).substr(0, 40), false},
      {"EndsInsideThePadByte", waveFile("RIFF", {chunk("JUNK", "j"), data}).substr(0, 21), false},
      {"SizeNearTwoToThe32", waveFile("RIFF", {chunkWithSize("JUNK", 0xFFFFFFFE, ""), fmt, data}), false},
      {"NotWave", waveFile("RIFX", {fmt, data}), false},
  };
}

TEST(WaveParser, StopsAtTheDataWhateverPiecesTheBytesComeIn) {
  for (const ParseCase& c : parseCases()) {
    for (std::size_t piece : {c.file.size(), std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      WaveParser parser(false);
      const std::span<const std::byte> bytes = std::as_bytes(std::span(c.file));
      std::size_t taken = 0;
      while (taken < bytes.size() && parser.wanted() > 0) {
        const std::size_t size = std::min<std::size_t>({piece, bytes.size() - taken, parser.wanted()});
        parser.take(bytes.subspan(taken, size));
        taken += size;
      }
      ASSERT_EQ(parser.atData(), c.atData);
      EXPECT_EQ(parser.notWave(), std::string_view(c.name) == "NotWave");
      if (!c.atData) continue;
      const ParsedWave& parsed = parser.parsed();
      EXPECT_EQ(parsed.dataStart, c.dataStart);
      EXPECT_EQ(taken, c.dataStart) << "the reader is left at the first sample";
      EXPECT_EQ(parsed.dataSize, c.dataSize);
      EXPECT_EQ(parsed.ds64DataSize, c.ds64DataSize);
      EXPECT_EQ(parsed.format ? parsed.format->kind : SampleKind::other, c.kind);
    }
  }
}

TEST(WaveParser, KeepsTheBextAndIxmlBodiesOnlyWhenAskedAndUpToTheirLimits) {
  const std::string fmt = harness::chunk("fmt ", harness::formatBody({}));
  for (std::size_t size : {std::size_t{603}, bextLimit, bextLimit + 2}) {
    const std::string file =
        harness::waveFile("RIFF", {harness::chunk("bext", std::string(size, 'b')), fmt,
                                   harness::chunk("iXML", std::string(size + 1, 'x')),
                                   harness::chunk("iXML", "second"), harness::chunk("data", "")});
    for (bool keep : {false, true}) {
      WaveParser parser(keep);
      parser.take(std::as_bytes(std::span(file)));
      EXPECT_TRUE(parser.atData());
      const bool kept = keep && size <= bextLimit;
      EXPECT_EQ(parser.parsed().bext.value_or(std::vector<std::byte>()).size(), kept ? size : 0) << size;
      EXPECT_EQ(parser.parsed().ixml.value_or(std::vector<std::byte>()).size(), !keep ? 0
                                                                                : size + 1 <= ixmlLimit
                                                                                    ? size + 1
                                                                                    : 6)
          << size;
    }
  }
}

// A canonical stereo 16-bit input of 1000 frames.
InputDescription canonicalInput() {
  InputDescription input;
  input.form = InputForm::canonical;
  input.format = {1, 2, 44100, 176400, 4, 16, SampleKind::pcm, 16};
  input.fixed = FixedHeader{{'R', 'I', 'F', 'F'}, 36 + 4000, {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}, 16,
                            {'d', 'a', 't', 'a'}, 4000};
  input.dataStart = 44;
  input.dataLength = 4000;
  return input;
}

struct Fields {
  std::int32_t riffSize, fmtLength, rate, byteRate, dataLength;
  std::int16_t formatTag, channels, blockAlign, bits;
};

Fields decode(const CanonicalImage& image) {
  const std::byte* h = image.data();
  return {loadInt32Le(h + 4),  loadInt32Le(h + 16), loadInt32Le(h + 24),
          loadInt32Le(h + 28), loadInt32Le(h + 40), loadInt16Le(h + 20),
          loadInt16Le(h + 22), loadInt16Le(h + 32), loadInt16Le(h + 34)};
}

TEST(CanonicalHeader, SharedFieldsComeFromTheYzFileAndArithmeticWraps) {
  InputDescription wx = canonicalInput();
  InputDescription yz = canonicalInput();
  yz.format.formatTag = 3;
  yz.format.blockAlign = 20000;  // doubled, it no longer fits 16 bits
  wx.fixed->riffSize = std::numeric_limits<std::int32_t>::max();
  wx.format.sampleRate = 1 << 30;
  Fields f = decode(buildCanonicalHeader(wx, yz, 3));
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
    layout.format = {1, 48000, 12, 24, 24, false};
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

// Scenes made here, the YZ file cut `offset` seconds after the WX file (the
// lengths in seconds): the exact offset where the scene is clear, else the
// refusal named.
struct SoundCase {
  const char* name;
  harness::SceneSpec scene;
  double offset, wxSeconds, yzSeconds;
  std::optional<SoundRefusal> refusal = std::nullopt;
};

TEST(SoundOffset, ExactToTheFrameOrRefused) {
  using harness::Arrival;
  using harness::SourceKind;
  auto source = [](SourceKind kind, double azimuth, double elevation, std::vector<Arrival> echoes = {}) {
    harness::SceneSource s{kind, {{0, 1, azimuth, elevation}}};
    s.arrivals.insert(s.arrivals.end(), echoes.begin(), echoes.end());
    return s;
  };
  const std::vector<Arrival> room = {{0.004, 0.4, -30, 0}, {0.011, 0.3, 20, -60}, {0.023, 0.25, 170, 10}};
  const SoundCase cases[] = {
      {"ClicksLeftYzLater", {8000, 100, {source(SourceKind::clicks, 70, 10, room)}, -30, 3}, 23.5, 70, 70},
      {"ClicksRightYzAMinuteLater",
       {8000, 140, {source(SourceKind::clicks, -60, 30, room)}, -35, 5},
       60,
       80,
       80},
      {"VoiceLeftYzAMinuteEarlier",
       {8000, 140, {source(SourceKind::voice, 110, -20, room)}, -25, 6},
       -60,
       75,
       80},
      {"SourcesOnOppositeSides",
       {8000, 70, {source(SourceKind::voice, 90, 0, room), source(SourceKind::clicks, -90, 0, room)}, -30, 7},
       0.3137,
       60,
       45},
      {"VoiceAboveSubSecond",
       {16000, 45, {source(SourceKind::voice, 20, 60, room)}, -20, 8},
       -0.0421,
       30,
       40},
      {"Silence", {8000, 40, {}, -200, 10}, 1, 30, 30, SoundRefusal::noMatch},
      {"DiffuseNoiseAlone", {8000, 40, {}, 0, 11}, 5, 30, 30, SoundRefusal::noMatch},
      {"VoiceStraightAhead",
       {8000, 40, {source(SourceKind::voice, 0, 0)}, -30, 12},
       5,
       30,
       30,
       SoundRefusal::noMatch},
      {"TalkerNearlyAheadSideEchoAsStrong",
       {8000, 40, {source(SourceKind::voice, 20, 0, {{0.007, 1.0, 90, 0}})}, -30, 13},
       2,
       30,
       30,
       SoundRefusal::echo},
      {"TalkerAheadSideEchoAsStrong",
       {8000, 40, {source(SourceKind::voice, 0, 0, {{0.007, 1.0, 90, 0}})}, -30, 14},
       2,
       30,
       30,
       SoundRefusal::echo},
      {"TalkerAheadSideEchoHalfAsStrong",
       {8000, 40, {source(SourceKind::voice, 0, 0, {{0.007, 0.5, 90, 0}})}, -30, 15},
       2,
       30,
       30,
       SoundRefusal::echo},
      {"RepeatingPattern",
       {8000, 40, {source(SourceKind::pattern, 60, 0)}, -30, 16},
       3,
       30,
       30,
       SoundRefusal::repeats},
  };
  for (const SoundCase& c : cases) {
    SCOPED_TRACE(c.name);
    const harness::Channels scene = harness::renderScene(c.scene);
    const double rate = c.scene.rate;
    const std::int64_t offset = std::llround(c.offset * rate), first = std::max<std::int64_t>(0, -offset);
    const std::int64_t wxFrames = std::llround(c.wxSeconds * rate),
                       yzFrames = std::llround(c.yzSeconds * rate);
    const std::vector<float> w = harness::cut(scene.w, first, wxFrames),
                             x = harness::cut(scene.x, first, wxFrames);
    const std::vector<float> y = harness::cut(scene.y, first + offset, yzFrames);
    const std::vector<float> z = harness::cut(scene.z, first + offset, yzFrames);
    const auto found = findSoundOffset({w, x, y, z, c.scene.rate}, 60 * c.scene.rate);
    if (c.refusal) {
      ASSERT_TRUE(std::holds_alternative<SoundRefusal>(found));
      EXPECT_EQ(std::get<SoundRefusal>(found), *c.refusal);
    } else {
      ASSERT_TRUE(std::holds_alternative<SoundMatch>(found))
          << static_cast<int>(std::get<SoundRefusal>(found));
      EXPECT_EQ(std::get<SoundMatch>(found).offset, offset);
      EXPECT_GE(std::get<SoundMatch>(found).confidence, 2.0);
    }
  }
}

// The XML reader on documents it must take, written back byte for byte, and
// on documents it must refuse.
TEST(XmlReader, TakesWellFormedDocumentsWhole) {
  std::string deep = "<a/>", many;
  for (std::size_t i = 1; i < xmlDepthLimit; ++i)
    deep = "<a>" + deep + "</a>";
  for (std::size_t i = 0; i < xmlNodeLimit; ++i)
    many += "<e/>";
  const struct {
    const char* name;
    std::string document;
    bool taken;
  } cases[] = {
      {"EveryKindOfPiece",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone='yes'?>\r\n<!-- c --><?pi x?>"
       "<R a=\"1\" b='&lt;&#x41;&#65;' ><![CDATA[<&]]>t&amp;\xC3\xA9<e/><e  /></R  >\n<!---->",
       true},
      {"Latin1Bytes", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R>\xE9\x85</R>", true},
      {"NulPaddingAfterTheRoot", std::string("<R/>\n\0\0\0", 8), true},
      {"DepthAtTheLimit", deep, true},
      {"DepthPastTheLimit", "<a>" + deep + "</a>", false},
      {"PastTheSizeLimit", "<R>" + std::string(xmlSizeLimit, 't') + "</R>", false},
      {"NodesPastTheLimit", "<R><a/>" + many + "</R>", false},
      {"MismatchedEndTag", "<R><a></R></a>", false},
      {"UnclosedRoot", "<R><a/>", false},
      {"DuplicateAttribute", "<R a='1' a='2'/>", false},
      {"AttributesWithoutSpace", "<R a='1'b='2'/>", false},
      {"LessThanInAttribute", "<R a='<'/>", false},
      {"UndefinedEntity", "<R>&nbsp;</R>", false},
      {"CharacterReferenceXmlForbids", "<R>&#0;</R>", false},
      {"CharacterReferencePastUnicode", "<R>&#x110000;</R>", false},
      {"DocumentTypeWithEntities", "<!DOCTYPE R [<!ENTITY e 'eeee'>]><R>&e;</R>", false},
      {"DoubleDashInComment", "<R><!-- a -- b --></R>", false},
      {"CdataEndInText", "<R>]]></R>", false},
      {"ControlCharacter", std::string("<R>\x01</R>"), false},
      {"NulInside", std::string("<R>\0</R>", 8), false},
      {"InvalidUtf8", "<R>\xC3(</R>", false},
      {"OverlongUtf8", "<R>\xE0\x80\xAF</R>", false},
      {"Utf16Declared", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><R/>", false},
      {"DeclarationNotFirst", " <?xml version=\"1.0\"?><R/>", false},
      {"TextAfterTheRoot", "<R/>t", false},
      {"TwoRoots", "<R/><R/>", false},
      {"Empty", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<XmlDocument> document = readXml(c.document);
    ASSERT_EQ(document.has_value(), c.taken);
    if (c.taken) {
      EXPECT_EQ(writeXml(*document), c.document.substr(0, c.document.find_last_not_of('\0') + 1));
    }
  }
}

TEST(SampleDecoding, ScalesEveryWidthInEitherByteOrder) {
  auto decode = [](std::string bytes, SampleKind kind, std::uint16_t bits, bool bigEndian) {
    FormatFields format{1, 2, 8000, 0, static_cast<std::uint16_t>(bits / 4), bits, kind, bits};
    std::vector<float> left, right;
    const bool known = decodeStereo(std::as_bytes(std::span(bytes)), format, bigEndian, left, right);
    if (!known) return std::vector<float>{};
    left.insert(left.end(), right.begin(), right.end());
    return left;
  };
  using V = std::vector<float>;
  EXPECT_EQ(decode(std::string("\x80\xFF\x00\x40", 4), SampleKind::pcm, 8, false),
            (V{0, -1, 127 / 128.0f, -0.5f}));
  EXPECT_EQ(decode(std::string("\x00\x80\xFF\x7F", 4), SampleKind::pcm, 16, false),
            (V{-1, 32767 / 32768.0f}));
  EXPECT_EQ(decode(std::string("\x40\x00\x00\xFF\xFF\xFF", 6), SampleKind::pcm, 24, true),
            (V{0.5f, -1 / 8388608.0f}));
  EXPECT_EQ(decode(std::string("\x00\x00\x00\xC0\x00\x00\x00\x3F", 8), SampleKind::pcm, 32, false),
            (V{-0.5f, 0x3F000000 / 2147483648.0f}));
  EXPECT_EQ(decode(std::string("\x00\x00\x80\x3F\x00\x00\x00\xBF", 8), SampleKind::ieeeFloat, 32, false),
            (V{1, -0.5f}));
  EXPECT_EQ(
      decode(std::string("\x3F\xD0\0\0\0\0\0\0\xC0\x00\0\0\0\0\0\0", 16), SampleKind::ieeeFloat, 64, true),
      (V{0.25f, -2}));
  EXPECT_EQ(decode(std::string(6, '\0'), SampleKind::ieeeFloat, 24, false), V{});
  EXPECT_EQ(decode(std::string(4, '\0'), SampleKind::other, 16, false), V{});
}

// The output's iXML from the WX file's: the track list, the note and the
// time references rewritten, the rest as it was; the small one for what
// cannot be carried.
TEST(IxmlRewrite, NamesTheFourChannelsAndKeepsTheRest) {
  const std::string traditional = std::string(conventionNote(ChannelConvention::traditional));
  const std::string ambix = std::string(conventionNote(ChannelConvention::ambix));
  const std::string wxyz = harness::expectedTrackList(false);
  const std::string recorder =
      "<BWFXML>\r\n<PROJECT>p</PROJECT>\r\n<NOTE>rain &amp; wind</NOTE>\r\n<TRACK_LIST>\r\n"
      "<TRACK_COUNT>2</TRACK_COUNT>\r\n<TRACK><NAME>L</NAME></TRACK><TRACK><NAME>R</NAME></TRACK>\r\n"
      "</TRACK_LIST>\r\n<BEXT>\r\n<BWF_TIME_REFERENCE_LOW>7</BWF_TIME_REFERENCE_LOW>\r\n"
      "<BWF_TIME_REFERENCE_HIGH>0</BWF_TIME_REFERENCE_HIGH>\r\n</BEXT>\r\n</BWFXML>   ";
  const struct {
    const char* name;
    std::optional<std::string> chunk;
    ChannelConvention convention;
    std::optional<std::uint64_t> timeReference;
    std::string expected;
  } cases[] = {
      {"AbsentGetsTheSmallOne", std::nullopt, ChannelConvention::traditional, 5,
       harness::expectedSmallIxml(false)},
      {"RecorderTwoTracksUnderAmbix", recorder, ChannelConvention::ambix, (std::uint64_t{3} << 32) + 9,
       "<BWFXML>\r\n<PROJECT>p</PROJECT>\r\n<NOTE>rain &amp; wind; " + ambix + "</NOTE>\r\n" +
           harness::expectedTrackList(true, "\r\n") +
           "\r\n<BEXT>\r\n<BWF_TIME_REFERENCE_LOW>9</BWF_TIME_REFERENCE_LOW>\r\n"
           "<BWF_TIME_REFERENCE_HIGH>3</BWF_TIME_REFERENCE_HIGH>\r\n</BEXT>\r\n</BWFXML>   "},
      {"NoTrackListNoBextNoTimeReference",
       "<BWFXML><IXML_VERSION>2.0</IXML_VERSION><!--c--><TAKE a='&#65;'/></BWFXML>",
       ChannelConvention::traditional, std::nullopt,
       "<BWFXML><IXML_VERSION>2.0</IXML_VERSION>\n<NOTE>" + traditional +
           "</NOTE><!--c--><TAKE a='&#65;'/>\n" + wxyz + "</BWFXML>"},
      {"EmptyNoteTwoTrackListsHalfABext",
       "<BWFXML><NOTE> </NOTE><TRACK_LIST/><BEXT><BWF_TIME_REFERENCE_HIGH/></BEXT><TRACK_LIST/></BWFXML>",
       ChannelConvention::traditional, std::uint64_t{1} << 32,
       "<BWFXML><NOTE>" + traditional + "</NOTE>" + wxyz +
           "<BEXT><BWF_TIME_REFERENCE_HIGH>1</BWF_TIME_REFERENCE_HIGH>\n"
           "<BWF_TIME_REFERENCE_LOW>0</BWF_TIME_REFERENCE_LOW></BEXT></BWFXML>"},
      {"SpeedCountsAtItsOwnRate",
       "<BWFXML><SPEED><AUDIO_BIT_DEPTH>24</AUDIO_BIT_DEPTH><TIMESTAMP_SAMPLE_RATE> 96000 "
       "</TIMESTAMP_SAMPLE_RATE>"
       "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>1</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO></SPEED></BWFXML>",
       ChannelConvention::traditional, 48000 * std::uint64_t{100000} + 1,
       "<BWFXML>\n<NOTE>" + traditional +
           "</NOTE><SPEED><AUDIO_BIT_DEPTH>32</AUDIO_BIT_DEPTH><TIMESTAMP_SAMPLE_RATE> 96000 "
           "</TIMESTAMP_SAMPLE_RATE>"
           "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>1010065410</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>\n"
           "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>2</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI></SPEED>\n" +
           wxyz + "</BWFXML>"},
      {"SpeedAtARateThatIsNoNumberIsLeftAlone",
       "<BWFXML><SPEED><TIMESTAMP_SAMPLE_RATE>fast</TIMESTAMP_SAMPLE_RATE></SPEED></BWFXML>",
       ChannelConvention::traditional, 1,
       "<BWFXML>\n<NOTE>" + traditional +
           "</NOTE><SPEED><TIMESTAMP_SAMPLE_RATE>fast</TIMESTAMP_SAMPLE_RATE></SPEED>\n" + wxyz +
           "</BWFXML>"},
      {"MalformedGetsTheSmallOne", "<BWFXML><NOTE>half</BWFXML>", ChannelConvention::ambix, std::nullopt,
       harness::expectedSmallIxml(true)},
      {"AnotherRootGetsTheSmallOne", "<?xml version=\"1.0\"?><TRACK_LIST/>", ChannelConvention::traditional,
       std::nullopt, harness::expectedSmallIxml(false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const IxmlFacts facts{c.convention, c.timeReference, 48000, 32};
    EXPECT_EQ(rewriteIxml(c.chunk ? std::optional<std::string_view>(*c.chunk) : std::nullopt, facts),
              c.expected);
  }
}

// The edges of the bext edit that whole runs do not reach: a last history
// line without its CR LF, NULs after the text, a body too short.
TEST(BextEdit, AppendsOneLineAfterTheHistoryAndKeepsTheBodyEven) {
  const std::string body(602, '\1');
  auto edited = [](const std::string& bytes, BextEdit edit) {
    const std::vector<std::byte> out = editBext(std::as_bytes(std::span(bytes)), edit);
    return std::string(reinterpret_cast<const char*>(out.data()), out.size()).substr(338);
  };
  EXPECT_EQ(edited(body + "A=ANALOGUE", {std::nullopt, "T=xy"}), body.substr(338) + "A=ANALOGUE\r\nT=xy\r\n");
  EXPECT_EQ(edited(body + std::string("A=PCM\r\n\0\0\0", 10), {std::nullopt, "T=xy"}),
            body.substr(338) + std::string("A=PCM\r\nT=xy\r\n\0", 14));
  EXPECT_EQ(edited(body.substr(0, 300), {0x0102030405060708, ""}),
            std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8) + std::string(256, '\0'));
  EXPECT_EQ(bextTimeReference(std::as_bytes(std::span(body).first(345))), std::nullopt);
}

}  // namespace
}  // namespace quadrel
