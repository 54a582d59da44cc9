// Inputs a user may really hand the program: WAV variants with other
// layouts than the canonical 44-byte header, empty files, devices, FIFOs and
// a file past 2 GiB. Each is read at the fixed header positions and gives
// exactly what that reading implies, with no crash, no wait beyond the data
// and no memory that grows with the input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

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

// "RIFF", its size, "WAVE", then `chunks`; the size counts everything after
// its own field.
std::string riff(const std::string& chunks) { return "RIFF" + le32(4 + chunks.size()) + "WAVE" + chunks; }

// The fmt chunk body of 16-bit stereo PCM at 44100 Hz, with `tag`.
std::string stereoFormat(std::uint16_t tag) {
  return le16(tag) + le16(2) + le32(44100) + le32(44100 * 4) + le16(4) + le16(16);
}

// The end of a run that converts: the closing records after the summaries.
std::string summariesAndClosing(std::int32_t frames) {
  return summaryRecords(1, frames, 2, 44100, 16) + summaryRecords(2, frames, 2, 44100, 16) +
         closingRecords(44100);
}

RunRequest pairRequest(const std::string& wx, const std::string& yz) {
  RunRequest request;
  request.args = {"wx.wav", "yz.wav", "out.wav"};
  request.files = {{"wx.wav", wx}, {"yz.wav", yz}};
  return request;
}

// WAVE_FORMAT_EXTENSIBLE: bytes 36 to 43 hold the extension size, the valid
// bits and the channel mask (3, front left and right), not the data chunk.
// So the data length read is 3, no frame is converted, and the tail copy
// moves the WX file from byte 44 on, its samples untouched.
TEST(HardeningInputs, ExtensibleFormatIsReadAtTheFixedPositions) {
  const std::string pcmGuid("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
  auto file = [&](std::uint32_t seed) {
    const std::string extension = le16(22) + le16(16) + le32(3) + pcmGuid;
    return riff(chunk("fmt ", stereoFormat(0xFFFE) + extension) + chunk("data", samplePattern(seed, 400)));
  };
  const std::string wx = file(1), yz = file(2);
  const RunResult result = runProgram(pairRequest(wx, yz));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav") + summariesAndClosing(0));
  const std::string output = result.files.at("out.wav");
  EXPECT_EQ(output, expectedConversion(wx, yz));
  ASSERT_GE(output.size(), 44u);
  const WavHeaderFields header = *readWavHeader(output);
  EXPECT_EQ(header.fmtLength, 40);
  EXPECT_EQ(header.formatTag, -2);
  EXPECT_EQ(header.dataId, std::string("\x16\x00\x10\x00", 4));
  EXPECT_EQ(header.dataLength, 0);
  EXPECT_EQ(output.substr(44), wx.substr(44));
}

// An 18-byte fmt chunk: the data chunk starts at byte 38, so the data
// length read is "ta" and two bytes of the real length, 26239348 here. The
// frames start two bytes into the samples, and the WX file ends inside the
// 101st frame: end of file on unit 1 after 100 whole frames.
TEST(HardeningInputs, EighteenByteFormatReadsAShiftedLengthAndEndsAtTheData) {
  auto file = [](std::uint32_t seed) {
    return riff(chunk("fmt ", stereoFormat(1) + le16(0)) + chunk("data", samplePattern(seed, 400)));
  };
  const std::string wx = file(3), yz = file(4);
  const std::int32_t dataLength = 0x74 | 0x61 << 8 | 400 << 16;
  const std::int32_t frames = dataLength / 4;
  const RunResult result = runProgram(pairRequest(wx, yz));
  EXPECT_EQ(result.exitStatus, 24);
  EXPECT_EQ(result.err,
            unitFailureReport(result.err, "", 24, "end-of-file during read", 1, result.dir + "/wx.wav"));
  EXPECT_EQ(result.out, bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav") +
                            summaryRecords(1, frames, 2, 44100, 16) +
                            summaryRecords(2, frames, 2, 44100, 16) +
                            " Outfile Fsampling =   44100 Hz\r\n \r\n Saving data to output file (s)...\r\n");

  WavHeaderFields expected = *readWavHeader(yz);
  expected.riffSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(expected.riffSize) +
                                                static_cast<std::uint32_t>(dataLength));
  expected.channels = 4;
  expected.byteRate = 44100 * 8;
  expected.blockAlign = 8;
  expected.dataLength = static_cast<std::int32_t>(8u * static_cast<std::uint32_t>(frames));
  const std::string output = result.files.at("out.wav");
  EXPECT_EQ(readWavHeader(output), expected);
  EXPECT_EQ(expected.dataId, std::string("\0\0da", 4));
  std::string frameBytes;
  for (std::size_t at = 44; at + 4 <= wx.size(); at += 4)
    frameBytes += wx.substr(at, 4) + yz.substr(at, 4);
  EXPECT_EQ(output.substr(44), frameBytes);
  EXPECT_EQ(frameBytes.size(), 800u);
}

// A LIST chunk before the data: its id and length are read as the data
// chunk's, so the frames come from the LIST body and everything after them
// follows as the tail. LIST chunks of different lengths are a length
// mismatch.
TEST(HardeningInputs, ListChunkBeforeTheDataIsTakenForTheData) {
  auto file = [](std::uint32_t seed, const std::string& software) {
    const std::string info = "INFO" + chunk("ISFT", software);
    return riff(chunk("fmt ", stereoFormat(1)) + chunk("LIST", info) +
                chunk("data", samplePattern(seed, 400)));
  };
  const std::string wx = file(5, "Recorder 1.0"), yz = file(6, "Recorder 2.0");
  const RunResult result = runProgram(pairRequest(wx, yz));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav") + summariesAndClosing(6));
  const std::string output = result.files.at("out.wav");
  EXPECT_EQ(output, expectedConversion(wx, yz));
  ASSERT_GE(output.size(), 44u);
  EXPECT_EQ(readWavHeader(output)->dataId, "LIST");
  EXPECT_EQ(readWavHeader(output)->dataLength, 48);
  EXPECT_EQ(output.substr(44 + 48), wx.substr(44 + 24));

  const RunResult mismatch = runProgram(pairRequest(wx, file(6, "A longer software name")));
  EXPECT_EQ(mismatch.exitStatus, 0);
  EXPECT_TRUE(mismatch.out.ends_with(errorRecord("ERROR - Lenght mismatch")));
  EXPECT_EQ(mismatch.files.count("out.wav"), 0u);
}

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
  const std::string head = buildWav(stereo16(10, 12));
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

}  // namespace
}  // namespace quadrel::harness
