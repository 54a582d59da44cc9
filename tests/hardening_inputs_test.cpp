// Inputs a user may really hand the program: WAVE files laid out as tools
// and recorders write them, empty files, devices, FIFOs and a file past
// 2 GiB. Each gives its real values or a clear reason to stop, with no
// crash, no wait beyond the data and no memory that grows with the input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/hardening_support.h"
#include "tests/support/expected_records.h"
#include "tests/support/program_run.h"
#include "tests/support/program_under_wine.h"
#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

namespace h = quadrel::hardening;

std::string le16(std::uint16_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string le32(std::uint32_t value) { return le16(static_cast<std::uint16_t>(value)) + le16(value >> 16); }

RunRequest pairRequest(const std::string& wx, const std::string& yz) {
  RunRequest request;
  request.args = {"wx.wav", "yz.wav", "out.wav"};
  request.files = {{"wx.wav", wx}, {"yz.wav", yz}};
  return request;
}

// ---- WAVE layouts as tools and recorders write them -------------------------

struct LayoutCase {
  LayoutCase(const char* name, std::string wx, std::string yz, int stopUnit = 0,
             const char* message = nullptr, bool wxThroughPipe = false)
      : name(name),
        wx(std::move(wx)),
        yz(std::move(yz)),
        stopUnit(stopUnit),
        message(message),
        wxThroughPipe(wxThroughPipe) {}

  // The output is named `name`: ending in ".amb", it is labelled B-format.
  LayoutCase& to(const char* name) {
    outputName = name;
    return *this;
  }
  // The data of input `unit` ends first, after `count` frames, and the
  // frames converted so far stay.
  LayoutCase& endingFirst(int unit, std::uint64_t count) {
    endsFirst = unit;
    frames = count;
    return *this;
  }
  // The YZ file comes through a FIFO that a shell fills.
  LayoutCase& yzThroughFifo() {
    yzFifo = true;
    return *this;
  }
  // The WX file is standard input redirected from a regular file.
  LayoutCase& wxAsStandardInputFile(std::size_t after = 0) {
    wxStdinFile = true;
    stdinOffset = after;
    return *this;
  }
  // The output goes into a FIFO that a shell empties: its header is never
  // written again, so it must state the right sizes first.
  LayoutCase& outputThroughFifo() {
    outputFifo = true;
    return *this;
  }
  // Run with --ambix.
  LayoutCase& ambixRun() {
    ambix = true;
    return *this;
  }
  // The output's iXML is `body`, the WX file's rewritten; without it, the
  // small one.
  LayoutCase& withIxml(std::string body) {
    ixml = std::move(body);
    return *this;
  }

  const char* name;
  std::string wx, yz;
  int stopUnit;         // the unit whose header ends the run; 0: the pair converts
  const char* message;  // the rejection there; none: the file ends (entry 24)
  bool wxThroughPipe;   // the WX file comes through standard input, a pipe
  const char* outputName = "out.wav";
  int endsFirst = 0;  // the unit whose data ends while the other goes on
  std::optional<std::uint64_t> frames;
  bool yzFifo = false;
  bool wxStdinFile = false;
  std::size_t stdinOffset = 0;  // bytes of the file before the WX file, read by someone else
  bool outputFifo = false;
  bool ambix = false;
  std::optional<std::string> ixml;
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

// An fmt chunk: 16 bytes of fields, then `extension`.
std::string fmtChunk(std::uint16_t tag, std::uint16_t bits, std::string_view extension = "",
                     std::uint16_t channels = 2, std::uint32_t rate = 44100) {
  FormatSpec f;
  f.tag = tag;
  f.bitsPerSample = bits;
  f.channels = channels;
  f.sampleRate = rate;
  return chunk("fmt ", formatBody(f) + std::string(extension));
}

// 100 frames of `align` bytes with the pattern of `seed`.
std::string samples(std::uint32_t seed, std::uint16_t align = 4) { return samplePattern(seed, 100 * align); }

std::string data(std::uint32_t seed, std::uint16_t align = 4) { return chunk("data", samples(seed, align)); }

// A recorder's take at 48 kHz, 24 bits: its bext with a TimeReference and a
// CodingHistory line.
std::string recorderBext(std::uint64_t timeReference) {
  std::string body(602, '\0');
  body.replace(0, 12, "Harbour, 12A");
  body.replace(256, 8, "Recorder");
  for (int i = 0; i < 8; ++i)
    body[338 + i] = static_cast<char>(timeReference >> (8 * i));
  return body + "A=PCM,F=48000,W=24,M=stereo,T=field recorder\r\n";
}

// A recorder's iXML, as a seed of the iXML fuzz target holds it: CR LF
// lines, a note, user data, the time reference it had when recorded, two
// tracks, NUL padding.
std::string recorderIxml() { return sourceFile("tests/fuzz/corpus/ixml/recorder_crlf").substr(9); }

std::vector<LayoutCase> layoutCases() {
  const std::string fmt = fmtChunk(1, 16);
  const std::string fmt18 = fmtChunk(1, 16, le16(0));
  const std::string junk = chunk("JUNK", std::string(28, '\0'));
  const std::string bext = chunk("bext", std::string(602, 'b'));
  const std::string oddBext = chunk("bext", std::string(603, 'b'));
  const std::string ixml = chunk("iXML", "<BWFXML></BWFXML>");  // odd: a pad byte follows
  const std::string emptyRewritten = "<BWFXML>\n<NOTE>" + expectedConventionNote(false) + "</NOTE>\n" +
                                     expectedTrackList(false) + "</BWFXML>";
  // The recorder's pair: an editor moved the bext's TimeReference 10 ms on.
  const std::string fmt48 = fmtChunk(1, 24, "", 2, 48000);
  const std::string recorder = chunk("bext", recorderBext(2073600480)) + chunk("iXML", recorderIxml());
  auto list = [](std::string_view software) { return chunk("LIST", "INFO" + chunk("ISFT", software)); };
  auto streamed = [](std::uint32_t seed) { return chunkWithSize("data", 0xFFFFFFFF, samples(seed)); };
  auto extensible = [](std::uint16_t bits, std::uint16_t subFormat, std::optional<std::uint16_t> align = {}) {
    FormatSpec f;
    f.bitsPerSample = bits;
    f.blockAlign = align;
    return chunk("fmt ", extensibleBody(f, bits, subFormat));
  };
  WavSpec canonicalStreamed = stereo16(100, 14);
  canonicalStreamed.riffSize = canonicalStreamed.dataLength = -1;
  const std::string float18 = fmtChunk(3, 32, le16(0));
  const std::string truncatedJunk = chunkWithSize("JUNK", 0xFFFFFFF0, std::string(28, '\0'));
  // The placeholder sox writes when it streams, in a file of 100 frames:
  // 0x7FFFF000 in whole frames, the RIFF size to match.
  auto soxStreamed = [&](std::uint16_t bits, std::uint32_t seed) {
    const std::uint16_t align = 2 * bits / 8;
    const std::uint32_t size = 0x7FFFF000 / align * align;
    const std::string head = bits == 16 ? fmt : extensible(bits, 1) + chunk("fact", le32(0x15555555));
    return waveFile("RIFF", {head, chunkWithSize("data", size, samples(seed, align))},
                    static_cast<std::uint32_t>(4 + head.size() + 8 + size));
  };
  auto canonicalWithLeftover = [&](std::uint32_t seed) {
    WavSpec recipe = stereo16(0, seed);
    recipe.sampleBytes = samples(seed) + "odd";
    recipe.trailing = std::string(1, '\0') + list("kept");
    return buildWav(recipe);
  };
  auto twentyBits = [](std::uint32_t seed) {
    WavSpec recipe = stereo16(100, seed);
    recipe.bitsPerSample = 20;
    return recipe;
  };
  auto canonical24 = [](std::int32_t frames, std::uint32_t seed) {
    WavSpec recipe = stereo16(frames, seed);
    recipe.bitsPerSample = 24;
    return recipe;
  };
  auto streamed24 = [&](std::int32_t frames, std::uint32_t seed) {
    WavSpec recipe = canonical24(frames, seed);
    recipe.riffSize = recipe.dataLength = -1;
    return recipe;
  };
  const std::string rf64Head = chunk("ds64", ds64Body(0, 400, 100)) + fmt;
  WavSpec strayBytes = stereo16(100, 82);
  strayBytes.trailing = chunk("LIST", "INFO") + "stray";
  strayBytes.riffSize = 36 + 400 + 12;
  // RIFF size 8 and data size 0 over 100 frames, and a half.
  auto neverClosed = [](std::uint32_t seed) {
    WavSpec recipe = stereo16(100, seed);
    recipe.riffSize = 8;
    recipe.dataLength = 0;
    recipe.trailing = "ha";
    return recipe;
  };
  WavSpec lessThanAFrame = canonical24(0, 81);
  lessThanAFrame.sampleBytes = "half";

  std::vector<LayoutCase> cases = {
      {"CanonicalPairStaysByteIdentical", buildWav(stereo16(100, 1)), buildWav(stereo16(100, 2))},
      {"ExtensiblePcm24", waveFile("RIFF", {extensible(24, 1), data(3, 6)}),
       waveFile("RIFF", {extensible(24, 1), data(4, 6)})},
      {"ExtensibleFloat32", waveFile("RIFF", {extensible(32, 3), list("Lavf"), data(5, 8)}),
       waveFile("RIFF", {extensible(32, 3), data(6, 8)})},
      {"EighteenByteFmt", waveFile("RIFF", {fmt18, data(7)}), waveFile("RIFF", {fmt18, data(8)})},
      LayoutCase("RecorderChunksBeforeFmt", waveFile("RIFF", {junk, bext, ixml, fmt, data(9)}),
                 waveFile("RIFF", {bext, junk, fmt, ixml, data(10)}))
          .withIxml(emptyRewritten),
      // LIST chunks of different lengths no longer pass for different data.
      LayoutCase("ChunksBetweenFmtAndDataAndAfterIt",
                 waveFile("RIFF", {fmt, list("Recorder 1.0"), ixml, data(11), junk}),
                 waveFile("RIFF", {fmt, list("A longer software name"), data(12)}))
          .withIxml(emptyRewritten),
      {"FloatWithFactAndPeak",
       waveFile("RIFF",
                {float18, chunk("fact", le32(100)), chunk("PEAK", std::string(24, 'p')), data(13, 8)}),
       waveFile("RIFF", {float18, chunk("fact", le32(100)), data(14, 8)})},
      {"EightBit", waveFile("RIFF", {fmtChunk(1, 8), list("x"), data(15, 2)}),
       waveFile("RIFF", {fmtChunk(1, 8, le16(0)), data(16, 2)})},
      {"Rf64AndBw64", waveFile("RF64", {rf64Head, streamed(17)}), waveFile("BW64", {rf64Head, streamed(18)})},
      // What a tool writes when it streams to a pipe, read from regular files.
      {"StreamedSizesInRegularFiles", waveFile("RIFF", {fmt, list("Lavf"), streamed(19)}, 0xFFFFFFFF),
       buildWav(canonicalStreamed)},
      LayoutCase("CanonicalPairLabelledAmbisonic", buildWav(stereo16(100, 44)), buildWav(stereo16(100, 45)))
          .to("take.amb"),
      LayoutCase("ExtensibleFloatLabelledAmbisonic", waveFile("RIFF", {extensible(32, 3), data(46, 8)}),
                 waveFile("RIFF", {fmtChunk(3, 32), list("x"), data(47, 8)}))
          .to("TAKE.AMB"),
      {"ZeroDataSizeRunsToTheEnd", waveFile("RIFF", {fmt, list("x"), chunkWithSize("data", 0, samples(20))}),
       waveFile("RIFF", {fmt, list("x"), data(21)})},
      {"DeclaredLengthHeldToTheFile",
       waveFile("RIFF", {fmt, list("x"), chunkWithSize("data", 4000, samples(22))}),
       waveFile("RIFF", {fmt, list("x"), chunkWithSize("data", 40000, samples(23))})},
      // A stream through a pipe: its frames go until an input's data ends.
      {"StreamedThroughAPipe", waveFile("RIFF", {fmt, list("Lavf"), streamed(24)}, 0xFFFFFFFF),
       buildWav(stereo16(100, 25)), 0, nullptr, true},
      LayoutCase("StreamedThroughAPipeOutlastedByYz",
                 waveFile("RIFF", {fmt, list("Lavf"), streamed(48)}, 0xFFFFFFFF), buildWav(stereo16(150, 49)),
                 0, nullptr, true)
          .endingFirst(1, 100),
      LayoutCase("StreamedThroughAPipeOutlastingYzData",
                 waveFile("RIFF", {fmt, list("Lavf"), streamed(50)}, 0xFFFFFFFF),
                 waveFile("RIFF", {fmt, chunk("data", samplePattern(51, 240)), ixml}), 0, nullptr, true)
          .endingFirst(2, 60),
      {"RecorderFileThroughAPipeWithChunksAfterData",
       waveFile("RIFF", {bext, fmt, chunk("data", samples(52) + "lef"), ixml, junk}),
       waveFile("RIFF", {fmt, chunk("data", samples(53) + "lef")}), 0, nullptr, true},
      // sox writing to a pipe: a placeholder near 2 GiB, in whole frames,
      // and the RIFF size to match, means "up to the end".
      {"SoxPlaceholderInRegularFiles", soxStreamed(16, 56), soxStreamed(16, 57)},
      {"SoxPlaceholderThroughAPipe", soxStreamed(24, 58), soxStreamed(24, 59), 0, nullptr, true},
      // Only whole chunks inside the file and the RIFF size follow the
      // frames, none about two channels: not a chunk cut short, a trailer
      // after the RIFF end, samples beyond a ds64 data size, PEAK or levl.
      LayoutCase("TrailingChunkCutShort",
                 waveFile("RIFF",
                          {fmt, list("x"), data(60), ixml, chunkWithSize("LIST", 100, std::string(18, 'l'))}),
                 waveFile("RIFF", {fmt, data(61)}))
          .withIxml(emptyRewritten),
      LayoutCase("Id3TrailerAfterTheRiffEnd",
                 waveFile("RIFF", {fmt, list("x"), data(62), ixml}) + "TAG" + std::string(125, 't'),
                 waveFile("RIFF", {fmt, data(63)}))
          .withIxml(emptyRewritten),
      {"Rf64DataSizeShortOfItsChunk",
       waveFile("RF64", {chunk("ds64", ds64Body(508, 300, 75)), fmt, streamed(64), junk}),
       waveFile("RIFF", {fmt, chunk("data", samplePattern(65, 300))})},
      {"PeakAndLevlAfterTheData",
       waveFile("RIFF", {float18, chunk("fact", le32(100)), data(66, 8), chunk("PEAK", std::string(24, 'p')),
                         chunk("levl", std::string(30, 'v')), list("after")}),
       waveFile("RIFF", {float18, data(67, 8)})},
      // A canonical WX file's left-over sample bytes and pad byte never
      // reach a chunked output; its chunks after them do.
      LayoutCase("CanonicalLeftoverBytesIntoAChunkedOutput", canonicalWithLeftover(68),
                 canonicalWithLeftover(69))
          .to("take.amb"),
      // Odd bodies get their pad byte, in the header and after the frames.
      LayoutCase("OddBextAndOddChunksAfterTheData",
                 waveFile("RIFF", {oddBext, fmt, data(78), ixml, list("odd")}),
                 waveFile("RIFF", {fmt, data(79)}))
          .withIxml(emptyRewritten),
      LayoutCase("OddBextAndOddChunksAfterTheDataToAPipe",
                 waveFile("RIFF", {oddBext, fmt, data(80), ixml, list("odd")}),
                 waveFile("RIFF", {fmt, data(81)}))
          .outputThroughFifo()
          .withIxml(emptyRewritten),
      // iXML: the WX file's, before its data or after it, rewritten for
      // four channels and its time references set to the output's; the
      // small one when it has none it can carry, the YZ file's never read.
      LayoutCase("RecorderIxmlBeforeTheData", waveFile("RIFF", {recorder, fmt48, data(82, 6)}),
                 waveFile("RIFF", {recorder, fmt48, data(83, 6)}))
          .withIxml(expectedRecorderIxml(recorderIxml(), false, 2073600480)),
      LayoutCase("RecorderIxmlBeforeTheDataUnderAmbix", waveFile("RIFF", {recorder, fmt48, data(84, 6)}),
                 waveFile("RIFF", {fmt48, data(85, 6)}))
          .ambixRun()
          .withIxml(expectedRecorderIxml(recorderIxml(), true, 2073600480)),
      LayoutCase("RecorderIxmlAfterTheData",
                 waveFile("RIFF", {chunk("bext", recorderBext(2073600480)), fmt48, data(86, 6),
                                   chunk("iXML", recorderIxml()), list("kept")}),
                 waveFile("RIFF", {fmt48, data(87, 6)}))
          .withIxml(expectedRecorderIxml(recorderIxml(), false, 2073600480)),
      {"IxmlInTheYzFileOnly", waveFile("RIFF", {fmt48, data(88, 6)}),
       waveFile("RIFF", {chunk("iXML", recorderIxml()), fmt48, data(89, 6)})},
      {"MalformedIxmlGetsTheSmallOne",
       waveFile("RIFF", {bext, chunk("iXML", "<BWFXML><NOTE>half</BWFXML>"), fmt, data(90)}),
       waveFile("RIFF", {fmt, data(91)})},
      LayoutCase("TwentyBitsLabelledAmbisonic", buildWav(twentyBits(70)), buildWav(twentyBits(71)))
          .to("t.amb"),
      // A stream that ends while the other input's fetched bytes hold part
      // of a frame, and two streams that end inside a frame: the header is
      // settled over the frames converted.
      LayoutCase("YzStreamEndsWhereWxHoldsPartOfAFrame", buildWav(canonical24(200000, 72)),
                 buildWav(streamed24(174755, 73)))
          .yzThroughFifo()
          .endingFirst(2, 174755),
      // A canonical file damaged after its data, and one a recorder never
      // closed: whole chunks and true sizes, and the frames up to the end.
      LayoutCase("CanonicalWxWithStrayBytesAfterItsLastChunk", buildWav(strayBytes),
                 buildWav(stereo16(100, 83))),
      LayoutCase("CanonicalWxNeverClosed", buildWav(neverClosed(84)), buildWav(neverClosed(85))),
      LayoutCase("WxWithoutAWholeFrameOutlastedByAYzStream", buildWav(lessThanAFrame),
                 buildWav(streamed24(100, 80)))
          .yzThroughFifo()
          .endingFirst(1, 0),
      LayoutCase("TwoStreamsEndingInsideAFrame",
                 waveFile("RIFF", {fmt, chunkWithSize("data", 0xFFFFFFFF, samples(74) + "wx!")}, 0xFFFFFFFF),
                 waveFile("RIFF", {fmt, chunkWithSize("data", 0xFFFFFFFF, samples(75) + "yz!")}, 0xFFFFFFFF),
                 0, nullptr, true)
          .yzThroughFifo()
          .endingFirst(1, 100),
      // Standard input from a regular file is held to its length.
      LayoutCase("Rf64ClaimingMoreThanStandardInputHolds",
                 waveFile("RF64", {chunk("ds64", ds64Body(0, 399999999996, 0)), fmt, streamed(76)}),
                 waveFile("RIFF", {fmt, data(77)}), 0, nullptr, true)
          .wxAsStandardInputFile(),
      // Standard input that another program has read from first: the chunks
      // after the data are found where they are.
      LayoutCase("StandardInputFileNotAtItsStartKeepsTheChunksAfterTheData",
                 waveFile("RIFF", {junk, fmt, data(78), list("tail")}), waveFile("RIFF", {fmt, data(79)}), 0,
                 nullptr, true)
          .wxAsStandardInputFile(1000),
      {"WxMonoBehindJunk", waveFile("RIFF", {junk, fmtChunk(1, 16, "", 1), data(26, 2)}),
       buildWav(stereo16(100, 27)), 1, "ERROR - The input files must be stereo"},
      {"YzRateBehindJunk", waveFile("RIFF", {fmt, data(28)}),
       waveFile("RIFF", {junk, fmtChunk(1, 16, "", 2, 48000), data(29)}), 2, "ERROR - Fsampling mismatch"},
      {"WxMuLaw", waveFile("RIFF", {fmtChunk(7, 8, le16(0)), data(30, 2)}), buildWav(stereo16(100, 31)), 1,
       "ERROR - Unsupported sample format"},
      {"YzExtensibleAdpcm", waveFile("RIFF", {extensible(16, 1), data(32)}),
       waveFile("RIFF", {extensible(16, 2), data(33)}), 2, "ERROR - Unsupported sample format"},
      {"NoFmtBeforeData", waveFile("RIFF", {data(34), fmt}), buildWav(stereo16(100, 35)), 1,
       "ERROR - Missing fmt chunk"},
      {"ShortFmt", waveFile("RIFF", {chunk("fmt ", std::string(14, '\1')), data(36)}),
       buildWav(stereo16(100, 37)), 1, "ERROR - Invalid fmt chunk"},
      {"BlockAlignBeyondTheSampleWidth", waveFile("RIFF", {extensible(24, 1, 8), data(38, 8)}),
       waveFile("RIFF", {extensible(24, 1, 8), data(39, 8)}), 2, "ERROR - Unsupported sample width"},
      {"WxEndsInsideASkippedChunk", waveFile("RIFF", {truncatedJunk, fmt, data(40)}),
       buildWav(stereo16(100, 41)), 1},
      {"YzEndsInsideAChunkHeader", waveFile("RIFF", {fmt, list("x"), data(42)}),
       waveFile("RIFF", {fmt, list("x"), data(43)}).substr(0, 60), 2},
  };
  return cases;
}

// The sample bytes a summary counts: what the file declares, held to what a
// regular file holds; nothing when they run to the end of a pipe.
std::optional<std::uint64_t> dataBytes(const std::string& file, bool pipe) {
  const WavLayout layout = *readWavLayout(file);
  if (pipe) return layout.dataLength;
  const std::uint64_t held = file.size() - layout.dataStart;
  return std::min(layout.dataLength.value_or(held), held);
}

// A file with the 44-byte header and a declared data length.
bool canonical(const std::string& file) {
  const std::optional<WavHeaderFields> h = readWavHeader(file);
  return h && h->riffId == "RIFF" && h->waveFmtId == "WAVEfmt " && h->fmtLength == 16 &&
         h->dataId == "data" && readWavLayout(file)->dataLength;
}

bool labelledAmbisonic(const LayoutCase& c) {
  return std::string_view(c.outputName).ends_with(".amb") || std::string_view(c.outputName).ends_with(".AMB");
}

// A canonical pair keeps its 44-byte header, unless the WX file is a
// regular file whose RIFF size is not its length.
bool canonicalOutput(const LayoutCase& c) {
  const bool wxWhole = (c.wxThroughPipe && !c.wxStdinFile) ||
                       static_cast<std::uint32_t>(readWavHeader(c.wx)->riffSize) + 8 == c.wx.size();
  return canonical(c.wx) && canonical(c.yz) && wxWhole && !labelledAmbisonic(c) && !c.ambix;
}

// The output a converting row leaves: the 44-byte header for a canonical
// pair whose WX RIFF size is its length where that is known, a chunked one
// for any other; 36 bytes kept free for 64-bit sizes when the WX file comes
// through a pipe, whose length is not known ahead.
std::string expectedOutput(const LayoutCase& c) {
  if (canonicalOutput(c)) return expectedConversion(c.wx, c.yz).value_or("");
  const bool wxStream = c.wxThroughPipe && !c.wxStdinFile;
  return expectedChunkedConversion(c.wx, c.yz,
                                   {labelledAmbisonic(c), wxStream, c.frames, c.ambix, std::nullopt, c.ixml})
      .value_or("");
}

// What a strict reader, libsndfile's sndfile-info, complains of in a WAV
// file; nothing when it is not installed.
std::optional<std::string> strictReaderComplaints(const std::string& file, const std::string& name) {
  RunRequest request;
  request.program = "/bin/sh";
  request.files = {{name, file}};
  request.args = {"-c",
                  "command -v sndfile-info >/dev/null || exit 99\n"
                  "sndfile-info \"$0\" 2>&1 | grep -E 'should be|[*][*][*]|Error|Bad|Unknown' || true",
                  name};
  const RunResult result = runProgram(request);
  if (result.exitStatus == 99) return std::nullopt;
  return result.out;
}

// A chunked output's metadata as two other readers see it: Python's XML
// parser finds the iXML chunks, the track list, whether the note ends with
// `note` and whether each time reference in it is the bext's; sndfile-info
// counts the iXML chunks and shows the CodingHistory's last line. Nothing
// when either is not installed.
std::optional<std::string> metadataReadBack(const std::string& file, const std::string& note) {
  RunRequest request;
  request.program = "/bin/sh";
  request.files = {{"out.wav", file}};
  request.args = {
      "-c",
      "command -v python3 >/dev/null && command -v sndfile-info >/dev/null || exit 99\n"
      "python3 -c \"$0\" out.wav \"$1\"\n"
      "sndfile-info out.wav | grep -c '^iXML'\n"
      "sndfile-info --broadcast out.wav | grep -v -e '^$' -e 'does not contain broadcast' | tail -n 1 |\n"
      "  tr -d '\\r' | sed 's/^Coding history *: //'",
      "import struct, sys, xml.etree.ElementTree as E\n"
      "d = open(sys.argv[1], 'rb').read()\n"
      "at, found, ref = 12, [], None\n"
      "while at + 8 <= len(d):\n"
      "    n = struct.unpack('<I', d[at + 4:at + 8])[0]\n"
      "    if d[at:at + 4] == b'iXML': found.append(d[at + 8:at + 8 + n])\n"
      "    if d[at:at + 4] == b'bext': ref = struct.unpack('<Q', d[at + 346:at + 354])[0]\n"
      "    at += 8 + n + n % 2\n"
      "r = E.fromstring(found[0])\n"
      "t = r.find('TRACK_LIST')\n"
      "print(len(found), t.findtext('TRACK_COUNT'), *[k.findtext('NAME') for k in t.findall('TRACK')])\n"
      "print(r.findtext('NOTE').endswith(sys.argv[2]))\n"
      "for p, lo, hi in (('BEXT', 'BWF_TIME_REFERENCE_LOW', 'BWF_TIME_REFERENCE_HIGH'),\n"
      "                  ('SPEED', 'TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO', "
      "'TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI')):\n"
      "    e = r.find(p)\n"
      "    if e is not None: print(p, int(e.findtext(lo)) + (int(e.findtext(hi)) << 32) == ref)\n",
      note};
  const RunResult result = runProgram(request);
  if (result.exitStatus == 99) return std::nullopt;
  return result.out + result.err;
}

// What those readers should see in `expected`, a chunked output.
std::string expectedReadBack(const LayoutCase& c, const std::string& expected) {
  std::string seen = std::string("1 4 ") + (c.ambix ? "W Y Z X" : "W X Y Z") + "\nTrue\n";
  if (c.ixml && c.ixml->find("<BEXT>") != std::string::npos) seen += "BEXT True\nSPEED True\n";
  seen += "1\n";
  if (const std::optional<std::string> bext = readWavLayout(expected)->bext) {
    const std::string history = bext->substr(602, bext->find_last_not_of('\0') - 1 - 602);
    seen += history.substr(history.rfind('\n') + 1) + "\n";
  }
  return seen;
}

class WaveLayouts : public ::testing::TestWithParam<LayoutCase> {};

// The summaries show the real values, and the pair converts, or stops with
// its clear reason and only whole frames behind it.
TEST_P(WaveLayouts, ShowTheirRealValuesOrStopWithTheReason) {
  const LayoutCase& c = GetParam();
  if ((c.yzFifo || c.outputFifo) && programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  RunRequest request = pairRequest(c.wx, c.yz);
  request.args[2] = c.outputName;
  if (c.wxThroughPipe) {
    request.args[0] = "CONIN$";
    request.files.erase("wx.wav");
    request.stdinBytes = c.wx;
    if (c.wxStdinFile) request.stdinKind = StdinKind::file;
    request.stdinBytes.insert(0, c.stdinOffset, 'x');
    request.stdinFileOffset = c.stdinOffset;
  }
  std::vector<std::string> names = request.args;
  if (c.yzFifo || c.outputFifo) {
    std::string script;
    if (c.yzFifo) {
      names[1] = "yz.fifo";
      script += "mkfifo yz.fifo && { cat yz.wav > yz.fifo & } && ";
    }
    if (c.outputFifo) {
      names[2] = "out.fifo";
      script += "mkfifo out.fifo && { cat out.fifo > " + std::string(c.outputName) + " & } && ";
    }
    request.env["QUADREL_PROGRAM"] = request.program;
    request.program = "/bin/sh";
    const std::string run = "\"$QUADREL_PROGRAM\" " + names[0] + " " + names[1] + " " + names[2];
    // The output's reader must finish before the run is over.
    request.args = {"-c", script + (c.outputFifo ? run + "; status=$?; wait; exit $status" : "exec " + run)};
  }
  if (c.ambix) request.args.insert(request.args.begin(), "--ambix");
  const RunResult result = runProgram(request);

  std::string out = bannerRecords() + echoRecords(names[0], names[1], names[2]);
  std::string err;
  int status = 0;
  auto endOfFile = [&](int unit) {
    const std::string name = names[unit - 1];
    err = unitFailureReport(result.err, "", 24, "end-of-file during read", unit,
                            c.wxThroughPipe && unit == 1 ? name : result.dir + "/" + name);
    status = 24;
  };
  auto stop = [&] { c.message ? void(out += errorRecord(c.message)) : endOfFile(c.stopUnit); };
  if (c.stopUnit == 1) {
    stop();
  } else {
    const FormatSpec wx = *readWavLayout(c.wx)->format;
    const std::optional<std::uint64_t> bytes = dataBytes(c.wx, c.wxThroughPipe && !c.wxStdinFile);
    auto frames = [&](const FormatSpec& f) {
      return bytes ? static_cast<std::int64_t>(*bytes / f.align()) : -1;
    };
    out += summaryRecords(1, frames(wx), wx.channels, wx.sampleRate, wx.bitsPerSample);
    if (c.stopUnit == 2) {
      stop();
    } else {
      const FormatSpec yz = *readWavLayout(c.yz)->format;
      out += summaryRecords(2, frames(yz), wx.channels, wx.sampleRate, wx.bitsPerSample);
      std::string closing = closingRecords(wx.sampleRate);
      if (c.endsFirst != 0) {
        closing.erase(closing.find("  Conversion"));
        endOfFile(c.endsFirst);
      }
      out += closing;
    }
  }
  EXPECT_EQ(result.out, out);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.exitStatus, status);
  if (c.stopUnit != 0) {
    EXPECT_EQ(result.files.count(c.outputName), 0u);
    return;
  }
  const std::string expected = expectedOutput(c);
  ASSERT_FALSE(expected.empty());
  const std::string& output = result.files.at(c.outputName);
  EXPECT_EQ(output.size(), expected.size());
  EXPECT_TRUE(output == expected) << "the output differs from the expected bytes";
  // Of an output without frames, the reader complains that it read none.
  if (c.frames != 0u) {
    EXPECT_EQ(strictReaderComplaints(output, c.outputName).value_or(""), "");
  }
  if (canonicalOutput(c)) return;
  const std::optional<std::string> seen = metadataReadBack(output, expectedConventionNote(c.ambix));
  if (seen) {
    EXPECT_EQ(*seen, expectedReadBack(c, expected));
  }
}

INSTANTIATE_TEST_SUITE_P(HardeningInputs, WaveLayouts, ::testing::ValuesIn(layoutCases()),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// ---- Files that other projects keep as test data -----------------------------

// Where a checkout keeps the corpus: beside the source tree.
const std::string corpusDir = std::string(QUADREL_SOURCE_DIR) + "/../shared/wav-corpus";

std::vector<std::string> corpusFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(corpusDir, error))
    if (entry.path().extension() == ".wav") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The file with the frames of its data chunk in reverse order (up to the
// end of the file where the size says so or runs past it): the same layout,
// other samples, and the same peak, which a decoder of floats may scale by.
std::string otherSamples(std::string file) {
  const bool bigEndian = file.starts_with("RIFX");
  auto number = [&](std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
      value |= std::uint32_t{static_cast<unsigned char>(file[at + (bigEndian ? width - 1 - i : i)])}
               << (8 * i);
    return value;
  };
  std::size_t align = 0;
  for (std::size_t at = 12; at + 8 <= file.size();) {
    const std::uint32_t size = number(at + 4, 4);
    if (file.compare(at, 4, "fmt ") == 0 && size >= 16 && file.size() - at >= 24) align = number(at + 20, 2);
    if (file.compare(at, 4, "data") == 0) {
      const bool toEnd = size == 0 || size == 0xFFFFFFFF || file.size() - at - 8 < size;
      const std::size_t length = (toEnd ? file.size() - at - 8 : size);
      const std::size_t frames = align == 0 ? 0 : length / align;
      for (std::size_t i = 0; i < frames / 2; ++i)
        std::swap_ranges(file.begin() + at + 8 + i * align, file.begin() + at + 8 + (i + 1) * align,
                         file.begin() + at + 8 + (frames - 1 - i) * align);
      break;
    }
    at += 8 + std::size_t{size} + size % 2;
  }
  return file;
}

// The files that cannot make W X Y Z, with the one line that says why;
// every other file converts.
struct CorpusRejection {
  const char* file;
  const char* line;
};
constexpr const char* stereo = " ERROR - The input files must be stereo";
constexpr const char* width = " ERROR - Unsupported sample width";
constexpr const char* format = " ERROR - Unsupported sample format";
constexpr const char* align = " ERROR - Invalid block align";
constexpr const char* noFmt = " ERROR - Missing fmt chunk";
constexpr const char* badFmt = " ERROR - Invalid fmt chunk";
constexpr const char* ended = "forrtl: severe (24): end-of-file during read, unit 1, file ";
const CorpusRejection corpusRejections[] = {
    {"go-audio-wav--bwf.wav", stereo},
    {"go-audio-wav--kick.wav", stereo},
    {"go-audio-wav--padded24b.wav", stereo},
    {"hound--fuzz-crash-e5471f5b58397287b509db7d026e95f1724454f5.wav", stereo},
    {"hound--fuzz-oom-48ae4cd061ff8578ad3f23dc87624bd365cf5216.wav", ended},
    {"hound--pcmwaveformat-16bit-44100Hz-mono-extra.wav", stereo},
    {"hound--pcmwaveformat-24bit-4byte-48kHz-stereo.wav", width},
    {"hound--pro_tools_bext.wav", stereo},
    {"hound--wav_agent_bext.wav", stereo},
    {"hound--waveformatex-ieeefloat-44100Hz-mono.wav", stereo},
    {"hound--waveformatextensible-ieeefloat-44100Hz-mono.wav", stereo},
    {"jstrait-wavefile--invalid-data_chunk_truncated.wav", stereo},
    {"jstrait-wavefile--invalid-format_chunk_after_data_chunk.wav", noFmt},
    {"jstrait-wavefile--invalid-no_data_chunk.wav", ended},
    {"jstrait-wavefile--unsupported-unsupported_audio_format.wav", format},
    {"jstrait-wavefile--unsupported-unsupported_bits_per_sample.wav", width},
    {"jstrait-wavefile--valid-extensible_20_pcm_16_44100_speaker_mapping_overflow.wav", stereo},
    {"jstrait-wavefile--valid-extensible_tri_float_32_44100.wav", stereo},
    {"jstrait-wavefile--valid-mono_pcm_16_44100_junk_chunk_final_chunk_missing_padding_byte.wav", stereo},
    {"jstrait-wavefile--valid-no_samples.wav", stereo},
    {"jstrait-wavefile--valid-tri_pcm_16_44100.wav", stereo},
    {"libbw64--noise_24bit_uneven_data_chunk_size.wav", stereo},
    {"libbw64--rect_24bit_noriff.wav", align},
    {"libbw64--rect_24bit_nowave.wav", align},
    {"libbw64--rect_24bit_wrong_fmt_size.wav", ended},
    {"pydub--test1_empty.wav", stereo},
    {"python-soundfile--mono.wav", stereo},
    {"rochars-wavefile--24bit-16kHz-bext-mono.wav", stereo},
    {"rochars-wavefile--27bit-8kHz-noBext-mono.wav", stereo},
    {"rochars-wavefile--32IEEE-meta.wav", stereo},
    {"rochars-wavefile--RF64-64-bit-8kHz--mono-bext.wav", stereo},
    {"rochars-wavefile--RIFX-16bit-mono.wav", stereo},
    {"rochars-wavefile--ima22m.wav", stereo},
    {"rochars-wavefile--out-4-channel-16-bit-48kHz-mono-fromScratch.wav", stereo},
    {"rochars-wavefile--out-8bit-mulaw-8kHz-stereo-encoded.wav", format},
    {"scipy--test-1234Hz-le-1ch-10S-20bit-extra.wav", stereo},
    {"scipy--test-44100Hz-le-1ch-4bytes-early-eof-no-data.wav", stereo},
    {"scipy--test-44100Hz-le-1ch-4bytes-early-eof.wav", stereo},
    {"scipy--test-44100Hz-le-1ch-4bytes-incomplete-chunk.wav", ended},
    {"scipy--test-44100Hz-le-1ch-4bytes-rf64.wav", stereo},
    {"scipy--test-8000Hz-be-3ch-5S-24bit.wav", stereo},
    {"scipy--test-8000Hz-le-1ch-1byte-ulaw.wav", stereo},
    {"scipy--test-8000Hz-le-3ch-5S-24bit-inconsistent.wav", stereo},
    {"scipy--test-8000Hz-le-3ch-5S-24bit-rf64.wav", stereo},
    {"scipy--test-8000Hz-le-3ch-5S-53bit.wav", stereo},
    {"scipy--test-8000Hz-le-4ch-9S-12bit.wav", stereo},
    {"scipy--test-8000Hz-le-5ch-9S-5bit.wav", stereo},
    {"taglib--alaw.wav", format},
    {"taglib--infloop.wav", stereo},
    {"taglib--invalid-chunk.wav", ended},
    {"taglib--segfault.wav", badFmt},
    {"tinytag--adpcm_no_byterate.wav", format},
    {"tinytag--mp3_audio.wav", stereo},
    {"tinytag--no_audio_data_compressed.wav", format},
    {"tinytag--zero_value_properties.wav", stereo}};

// What the peers make of an output and of the WX file, and the three files
// decoded to raw samples of their own kind: the frames of the output are
// those of the WX file, then those of the YZ file, as a decoder gives them.
struct PeerView {
  std::string info, wxInfo, probe, wx, yz, out;
};

std::optional<PeerView> peerView(const RunRequest& pair, const std::string& output) {
  RunRequest request;
  request.program = "/bin/sh";
  request.files = {
      {"wx.wav", pair.files.at("wx.wav")}, {"yz.wav", pair.files.at("yz.wav")}, {"out.wav", output}};
  request.args = {
      "-c",
      "for tool in sndfile-info sndfile-convert ffprobe; do command -v $tool >/dev/null || exit 99; done\n"
      "sndfile-info out.wav > info 2>&1; sndfile-info wx.wav > wxinfo 2>&1\n"
      "ffprobe -v error -select_streams a:0 -show_entries stream=channels,duration_ts -of csv=p=0 "
      "out.wav > probe 2>&1\n"
      "for f in wx yz out; do sndfile-convert -endian=little $f.wav $f.raw >/dev/null 2>&1; done\n"};
  RunResult result = runProgram(request);
  if (result.exitStatus == 99) return std::nullopt;
  return PeerView{result.files["info"],   result.files["wxinfo"], result.files["probe"],
                  result.files["wx.raw"], result.files["yz.raw"], result.files["out.raw"]};
}

// The number after "label :" in the summary that closes sndfile-info's
// report; -1 when it is missing.
long long infoNumber(const std::string& info, std::string_view label) {
  const std::size_t summary = info.rfind("\n------");
  std::size_t at = summary == std::string::npos ? std::string::npos : info.find(label, summary);
  if (at == std::string::npos) return -1;
  at = info.find(':', at);
  return at == std::string::npos ? -1 : std::atoll(info.c_str() + at + 1);
}

class CorpusFiles : public ::testing::TestWithParam<std::string> {};

// Each file as the WX file, with a YZ file of the same layout: converted
// into a file that two peers open and decode to the inputs' frames, with
// no complaint, or rejected with its one line and no output. The file
// with a sampling rate of 0 converts as it always has: no peer opens it.
TEST_P(CorpusFiles, ConvertIntoWhatPeersReadOrAreRejectedWithOneLine) {
  const std::string& name = GetParam();
  std::ifstream in(corpusDir + "/" + name, std::ios::binary);
  const std::string wx{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const RunRequest request = pairRequest(wx, otherSamples(wx));
  const RunResult result = runProgram(request);

  const auto rejection = std::find_if(std::begin(corpusRejections), std::end(corpusRejections),
                                      [&](const CorpusRejection& r) { return name == r.file; });
  if (rejection != std::end(corpusRejections)) {
    const std::string line = rejection->line;
    if (line == ended) {
      EXPECT_EQ(result.err,
                unitFailureReport(result.err, "", 24, "end-of-file during read", 1, result.dir + "/wx.wav"));
      EXPECT_EQ(result.exitStatus, 24);
    } else {
      EXPECT_TRUE(result.out.ends_with(line + "\r\n")) << result.out;
      EXPECT_EQ(result.exitStatus, 0);
    }
    EXPECT_EQ(result.files.count("out.wav"), 0u);
    return;
  }
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  ASSERT_TRUE(result.out.ends_with("  Conversion terminated OK !!!!\r\n")) << result.out;
  const std::string& output = result.files.at("out.wav");
  if (name == "jstrait-wavefile--unsupported-bad_sample_rate.wav") {
    EXPECT_EQ(result.out, bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav") +
                              summaryRecords(1, 0, 2, 0, 16) + summaryRecords(2, 0, 2, 0, 16) +
                              closingRecords(0));
    EXPECT_TRUE(output == expectedConversion(wx, request.files.at("yz.wav")));
    return;
  }
  const std::optional<PeerView> peers = peerView(request, output);
  if (!peers) GTEST_SKIP() << "sndfile-info, sndfile-convert or ffprobe is not installed";
  // The WX frames as a strict reader finds them; where it finds none, as
  // the summary says, and the frames are only counted.
  long long frames = infoNumber(peers->wxInfo, "Frames");
  const bool wxDecoded = frames >= 0;
  const std::size_t summary = result.out.find("Number of data points #2 :");
  if (!wxDecoded && summary != std::string::npos) frames = std::atoll(result.out.c_str() + summary + 26);
  EXPECT_EQ(peers->yz.size(), peers->wx.size());
  EXPECT_EQ(infoNumber(peers->info, "Channels"), 4) << peers->info;
  EXPECT_EQ(infoNumber(peers->info, "Frames"), frames) << peers->info;
  // Reading no frame at all, sndfile-info reports a short count.
  std::istringstream lines(peers->info);
  for (std::string line; std::getline(lines, line);) {
    const bool complaint = line.find("should be") != std::string::npos ||
                           line.find("closed properly") != std::string::npos ||
                           (line.find("Error") != std::string::npos &&
                            (frames > 0 || line.find("short count") == std::string::npos));
    EXPECT_FALSE(complaint) << line;
  }
  EXPECT_EQ(peers->probe, "4," + (frames > 0 ? std::to_string(frames) : std::string("N/A")) + "\n");
  if (!wxDecoded) return;
  ASSERT_EQ(peers->out.size(), 2 * peers->wx.size()) << "the decoded output is not every input frame";
  const std::size_t size = frames > 0 ? peers->wx.size() / static_cast<std::size_t>(frames) : 1;
  for (std::size_t at = 0; at < peers->wx.size(); at += size) {
    const std::string expected = peers->wx.substr(at, size) + peers->yz.substr(at, size);
    ASSERT_EQ(peers->out.compare(2 * at, 2 * size, expected), 0)
        << "frame " << at / size << " decodes otherwise";
  }
}

INSTANTIATE_TEST_SUITE_P(HardeningInputs, CorpusFiles, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.size() - 4);
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFiles);

// Files that hold no header: nothing to read is the end of the file; the
// zero device reads as channel count 0, which the checks reject.
TEST(HardeningInputs, EmptyFilesAndDevicesEndOrAreRejected) {
  const std::string wav = buildWav(stereo16(10, 7));
  struct Case {
    const char* wx;
    const char* yz;
    int unit;            // the unit that ends, or 0 when the checks reject the pair
    std::string record;  // the rejection
  };
  const Case cases[] = {
      {"empty.wav", "yz.wav", 1, ""},
      {"wx.wav", "empty.wav", 2, ""},
      {"/dev/null", "yz.wav", 1, ""},
      {"/dev/zero", "yz.wav", 0, errorRecord("ERROR - The input files must be stereo")},
      {"wx.wav", "/dev/zero", 0, errorRecord("ERROR - Nchannels mismatch")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.wx) + " " + c.yz);
    RunRequest request = pairRequest(wav, wav);
    request.files["empty.wav"] = "";
    request.args = {c.wx, c.yz, "out.wav"};
    const RunResult result = runProgram(request);
    if (c.unit == 0) {
      EXPECT_EQ(result.exitStatus, 0);
      EXPECT_TRUE(result.out.ends_with(c.record)) << result.out;
    } else {
      const std::string name = c.unit == 1 ? c.wx : c.yz;
      const std::string file = name.starts_with('/') ? name : result.dir + "/" + name;
      EXPECT_EQ(result.exitStatus, 24);
      EXPECT_EQ(result.err, unitFailureReport(result.err, "", 24, "end-of-file during read", c.unit, file));
    }
    EXPECT_EQ(result.files.count("out.wav"), 0u);
  }
}

// Console input from the zero device never brings a line feed: the line
// buffer grows to its limit and the read ends with "input record too long",
// in bounded memory.
TEST(HardeningInputs, EndlessLineFromTheZeroDeviceIsTooLongInBoundedMemory) {
  RunRequest request;
  request.env["FORT5"] = "/dev/zero";
  const RunResult result = runProgram(request);
  EXPECT_EQ(result.exitStatus, 22);
  // The Windows program too names the unit's file as FORT5 gives it.
  EXPECT_EQ(result.err, "forrtl: severe (22): input record too long, unit 5, file /dev/zero\r\r\n");
  EXPECT_LT(h::childrenPeakKiB(), (h::sanitized ? 160 : 48) * 1024) << "KiB at the peak";
}

// A WX file through a FIFO: the whole file arrives in one write, and the
// output is the same as from a regular file, tail included.
TEST(HardeningInputs, WxFileThroughAFifoConvertsLikeARegularFile) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  WavSpec recipe = stereo16(200, 8);
  recipe.trailing = chunk("LIST", "INFOISFT" + le32(6) + "tool\0\0");
  const std::string wx = buildWav(recipe), yz = buildWav(stereo16(200, 9));
  ASSERT_LE(wx.size(), std::size_t{PIPE_BUF});
  RunRequest request = pairRequest(wx, yz);
  request.args[0] = "wx.fifo";
  request.prepare = [](const std::string& dir) { mkfifo((dir + "/wx.fifo").c_str(), 0600); };
  RunningProgram program(request);
  h::FifoWriter feed;
  ASSERT_TRUE(feed.open(program.dir() + "/wx.fifo"));
  ASSERT_TRUE(feed.write(wx));
  feed.close();
  const RunResult result = program.finish();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.files.at("out.wav"), expectedConversion(wx, yz));
}

// The tail of a FIFO input is copied up to the FIFO's end, also when it
// arrives after the last frame has been converted: a FIFO has no size, so
// only a read that brings nothing ends it.
TEST(HardeningInputs, FifoTailArrivingLateIsCopiedToTheEnd) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  WavSpec recipe = stereo16(100, 10);
  recipe.trailing = chunk("LIST", "INFOISFT" + le32(4) + "late");
  const std::string wx = buildWav(recipe), yz = buildWav(stereo16(100, 11));
  const std::size_t framesEnd = 44 + 400;
  RunRequest request = pairRequest(wx, yz);
  request.args[0] = "wx.fifo";
  request.prepare = [](const std::string& dir) { mkfifo((dir + "/wx.fifo").c_str(), 0600); };
  RunningProgram program(request);
  h::FifoWriter feed;
  ASSERT_TRUE(feed.open(program.dir() + "/wx.fifo"));
  ASSERT_TRUE(feed.write(std::string_view(wx).substr(0, framesEnd)));
  // The program now waits for more, or has ended without the tail.
  ASSERT_TRUE(program.waitForOutput(" Saving data to output file (s)..."));
  h::waitUntilWaitingIn(program.pid(), h::readCall, &feed, std::chrono::seconds(2));
  feed.write(std::string_view(wx).substr(framesEnd), std::chrono::seconds(2));
  feed.close();
  const RunResult result = program.finish();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.files.at("out.wav"), expectedConversion(wx, yz)) << "the tail was not waited for";
}

// A WX file of 2 GiB and more, sparse, with a marker at its very end: the
// tail copy runs past 2^31 to the real end, in bounded memory. The output
// goes to standard output ("CON") and only its last bytes are kept.
TEST(HardeningInputs, SparseFilePastTwoGibIsCopiedToItsEndInBoundedMemory) {
  std::string base = std::filesystem::temp_directory_path().string() + "/quadrel-sparse-XXXXXX";
  ASSERT_NE(mkdtemp(base.data()), nullptr);
  const std::string sparse = base + "/wx.wav";
  const std::int64_t markerAt = std::int64_t{1} << 31;
  const std::string marker = "end of a file past 2 GiB";
  // Its RIFF size is its length, so every byte after the data goes along.
  WavSpec recipe = stereo16(10, 12);
  recipe.riffSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(markerAt + marker.size() - 8));
  const std::string head = buildWav(recipe);
  {
    const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_EQ(pwrite(fd, marker.data(), marker.size(), markerAt), static_cast<ssize_t>(marker.size()));
    close(fd);
  }
  const std::int64_t size = markerAt + static_cast<std::int64_t>(marker.size());
  const std::string yz = buildWav(stereo16(10, 13));
  const std::string before = bannerRecords() + echoRecords(sparse, "yz.wav", "CON") +
                             summaryRecords(1, 10, 2, 44100, 16) + summaryRecords(2, 10, 2, 44100, 16) +
                             " Outfile Fsampling =   44100 Hz\r\n";
  const std::string saving = " \r\n Saving data to output file (s)...\r\n";
  const std::string completion = "  Conversion terminated OK !!!!\r\n";
  const std::int64_t wxDataEnd = 44 + 40;
  const std::int64_t total = static_cast<std::int64_t>(before.size() + 44 + saving.size() + 80) +
                             (size - wxDataEnd) + static_cast<std::int64_t>(completion.size());
  const std::int64_t kept = 200;

  RunRequest request;
  request.files["yz.wav"] = yz;
  request.program = "/bin/sh";
  request.env["QUADREL_PROGRAM"] = programPath();
  request.env["SPARSE"] = sparse;
  request.args = {"-c",
                  "{ \"$QUADREL_PROGRAM\" \"$SPARSE\" yz.wav CON; echo $? > status; } | "
                  "{ dd bs=1M count=" +
                      std::to_string(total - kept) +
                      " iflag=count_bytes,fullblock of=/dev/null 2>/dev/null; cat > end.bin; }"};
  request.timeout = std::chrono::seconds(180);
  const RunResult result = runProgram(request);
  std::filesystem::remove_all(base);

  EXPECT_EQ(result.files.at("status"), "0\n");
  EXPECT_EQ(result.err, "");
  const std::string expectedEnd =
      std::string(kept - completion.size() - marker.size(), '\0') + marker + completion;
  EXPECT_EQ(result.files.at("end.bin"), expectedEnd);
  EXPECT_LT(h::childrenPeakKiB(), (h::sanitized ? 160 : 32) * 1024) << "KiB at the peak";
}

// Two canonical 24-bit inputs of just over 2 GiB of data each, sparse, with
// known frames at both ends: the output passes 4 GiB, so it is RF64, with
// the real sizes and sample count in its ds64 chunk, and its frames are
// right up to the far end. The output is real bytes on disk, read at
// offsets and deleted.
TEST(HardeningInputs, PairPastTwoGibEachGivesAnRf64OutputRightToItsEnd) {
  constexpr std::uint64_t frames = (std::uint64_t{1} << 31) / 6 + 1000;
  constexpr std::uint64_t dataLength = 6 * frames;
  const std::string ixml = chunk("iXML", expectedSmallIxml(false));
  const std::uint64_t headLength = 80 + ixml.size();
  const std::uint64_t outputLength = headLength + 12 * frames;
  constexpr std::uint64_t marked = 4;  // frames of the pattern at each end
  std::string base = std::filesystem::temp_directory_path().string() + "/quadrel-rf64-XXXXXX";
  ASSERT_NE(mkdtemp(base.data()), nullptr);
  struct statvfs disk {};
  ASSERT_EQ(statvfs(base.c_str(), &disk), 0);
  if (std::uint64_t{disk.f_bavail} * disk.f_frsize < outputLength + (std::uint64_t{1} << 30)) {
    std::filesystem::remove_all(base);
    GTEST_SKIP() << "the output needs " << outputLength / (1 << 20) << " MiB of free disk and a margin";
  }

  std::string ends[2][2];  // [input][start, end]
  for (int input = 0; input < 2; ++input) {
    WavSpec recipe = stereo16(0, 0);
    recipe.bitsPerSample = 24;
    recipe.sampleRate = 96000;
    recipe.dataLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(dataLength));
    recipe.riffSize = static_cast<std::int32_t>(36 + dataLength);
    recipe.sampleBytes = "";
    const std::string head = buildWav(recipe);
    ends[input][0] = samplePattern(60 + input, 6 * marked);
    ends[input][1] = samplePattern(70 + input, 6 * marked);
    const std::string path = base + (input == 0 ? "/wx.wav" : "/yz.wav");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(44 + dataLength)), 0);
    ASSERT_EQ(pwrite(fd, (head + ends[input][0]).data(), 44 + 6 * marked, 0), 44 + 6 * marked);
    ASSERT_EQ(pwrite(fd, ends[input][1].data(), 6 * marked, static_cast<off_t>(44 + dataLength - 6 * marked)),
              static_cast<ssize_t>(6 * marked));
    close(fd);
  }

  RunRequest request;
  request.args = {base + "/wx.wav", base + "/yz.wav", base + "/out.wav"};
  request.timeout = std::chrono::seconds(100);
  const RunResult result = runProgram(request);
  std::string head(headLength, '\0');
  std::string start(12 * marked, '\0');
  std::string end(12 * marked, '\0');
  std::uint64_t size = 0;
  {
    const int fd = open((base + "/out.wav").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      size = static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END));
      EXPECT_EQ(pread(fd, head.data(), head.size(), 0), static_cast<ssize_t>(headLength));
      EXPECT_EQ(pread(fd, start.data(), start.size(), static_cast<off_t>(headLength)),
                static_cast<ssize_t>(start.size()));
      EXPECT_EQ(pread(fd, end.data(), end.size(), static_cast<off_t>(outputLength - end.size())),
                static_cast<ssize_t>(end.size()));
      close(fd);
    }
  }
  std::filesystem::remove_all(base);

  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, bannerRecords() + echoRecords(request.args[0], request.args[1], request.args[2]) +
                            summaryRecords(1, frames, 2, 96000, 24) +
                            summaryRecords(2, frames, 2, 96000, 24) + closingRecords(96000));
  EXPECT_EQ(size, outputLength);
  std::string expectedHead = "RF64" + le32(0xFFFFFFFF) + "WAVE" + "ds64" + le32(28);
  for (std::uint64_t value : {outputLength - 8, 12 * frames, frames})
    expectedHead += le32(static_cast<std::uint32_t>(value)) + le32(static_cast<std::uint32_t>(value >> 32));
  expectedHead += le32(0) + ixml + chunk("fmt ", formatBody({1, 4, 96000, 24, 12, 96000 * 12})) + "data" +
                  le32(0xFFFFFFFF);
  EXPECT_EQ(head, expectedHead);
  auto woven = [&](int side) {
    std::string frames;
    for (std::uint64_t i = 0; i < marked; ++i)
      frames += ends[0][side].substr(6 * i, 6) + ends[1][side].substr(6 * i, 6);
    return frames;
  };
  EXPECT_TRUE(start == woven(0)) << "the first frames differ";
  EXPECT_TRUE(end == woven(1)) << "the frames at the far end differ";
}

}  // namespace
}  // namespace quadrel::harness
