// Whole runs under failure: outputs and standard output that refuse bytes,
// a file-size limit, inputs that end anywhere, a second run on an output in
// use, signals in the frame loop and during an ending, and every platform
// call of a kind failing in turn. Each checks the report, the exit status and the output bytes:
// the output always holds exactly the bytes of the write requests completed
// before the failure.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/hardening_support.h"
#include "tests/support/expected_records.h"
#include "tests/support/program_run.h"
#include "tests/support/program_under_wine.h"
#include "tests/support/wav_builder.h"

namespace quadrel::harness {
namespace {

namespace h = quadrel::hardening;

// An input pair with its expected result. The large one passes through more
// than one fetch per input and more than one gathered output write, and its
// WX file carries a chunk after the data.
struct Pair {
  std::int32_t frames = 0;
  std::string wx, yz, expected;
};

Pair makePair(std::int32_t frames, std::string trailing) {
  Pair pair;
  pair.frames = frames;
  WavSpec wx = stereo16(frames, 21);
  wx.trailing = std::move(trailing);
  pair.wx = buildWav(wx);
  pair.yz = buildWav(stereo16(frames, 22));
  pair.expected = *expectedConversion(pair.wx, pair.yz);
  return pair;
}

const Pair& smallPair() {
  static const Pair pair = makePair(50, "");
  return pair;
}

const Pair& largePair() {
  static const Pair pair = makePair(300000, chunk("LIST", std::string(90, 'L')));
  return pair;
}

RunRequest pairRequest(const Pair& pair) {
  RunRequest request;
  request.args = {"wx.wav", "yz.wav", "out.wav"};
  request.files = {{"wx.wav", pair.wx}, {"yz.wav", pair.yz}};
  return request;
}

// Standard output up to and including the record that begins with `last`.
std::string recordsThrough(const Pair& pair, std::string_view last, std::string_view wxName = "wx.wav") {
  const std::string all = bannerRecords() + echoRecords(wxName, "yz.wav", "out.wav") +
                          summaryRecords(1, pair.frames, 2, 44100, 16) +
                          summaryRecords(2, pair.frames, 2, 44100, 16) + closingRecords(44100);
  if (last.empty()) return all;
  const std::size_t at = all.find(last);
  return all.substr(0, all.find("\r\n", at) + 2);
}

constexpr std::string_view savingRecord = " Saving data to output file (s)...";

// Whether `length` bytes end where a write request ends: a header group, a
// whole frame, or a byte of the tail.
bool endsAtRequest(std::size_t length, const Pair& pair) {
  const std::size_t framesEnd = 44 + 8 * static_cast<std::size_t>(pair.frames);
  if (length == 0 || length == 16 || length == 24 || length == 32) return true;
  if (length >= 44 && length <= framesEnd) return (length - 44) % 8 == 0;
  return length > framesEnd && length <= pair.expected.size();
}

std::string outputOf(const RunResult& result) {
  auto found = result.files.find("out.wav");
  return found == result.files.end() ? std::string() : found->second;
}

TEST(HardeningFaults, OutputThatRefusesEveryByteIsEntry38ForUnit9) {
  const Pair& pair = smallPair();
  RunRequest request = pairRequest(pair);
  request.args[2] = "/dev/full";
  const RunResult result = runProgram(request);
  EXPECT_EQ(result.err,
            unitFailureReport(result.err, std::strerror(ENOSPC), 38, "error during write", 9, "/dev/full"));
  EXPECT_EQ(result.exitStatus, 38);
  const std::string shown = bannerRecords() + echoRecords("wx.wav", "yz.wav", "/dev/full") +
                            summaryRecords(1, pair.frames, 2, 44100, 16) +
                            summaryRecords(2, pair.frames, 2, 44100, 16) +
                            " Outfile Fsampling =   44100 Hz\r\n";
  EXPECT_EQ(result.out, shown);
}

// Short writes at the limit are continued, so the file ends exactly at the
// limit, and the refusal past it is a report, not a SIGXFSZ death.
TEST(HardeningFaults, FileSizeLimitKeepsExactlyTheBytesBelowIt) {
  if (programRunsUnderWine()) {
    GTEST_SKIP() << "a file-size limit of the Linux process ends a Wine process with SIGXFSZ: Wine "
                    "does not turn it into a failed write";
  }
  const Pair& pair = largePair();
  const std::size_t size = pair.expected.size();
  for (std::size_t limit : {std::size_t{1}, std::size_t{16}, std::size_t{30}, std::size_t{44},
                            std::size_t{44 + 8 * 1000 + 3}, std::size_t{1} << 20, size - 60, size - 1}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    RunRequest request = pairRequest(pair);
    request.fileSizeLimit = limit;
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.exitStatus, 38);
    EXPECT_EQ(result.err, unitFailureReport(result.err, std::strerror(EFBIG), 38, "error during write", 9,
                                            result.dir + "/out.wav"));
    const std::string output = outputOf(result);
    EXPECT_EQ(output.size(), limit);
    EXPECT_TRUE(output == pair.expected.substr(0, limit)) << "the output is not the start of the result";
    EXPECT_EQ(result.out, recordsThrough(pair, "").substr(0, result.out.size()));
    EXPECT_EQ(result.out.find("Conversion terminated OK"), std::string::npos)
        << "success was claimed before the failing write was reported";
  }
}

// Standard output on a full device, closed, or a pipe nobody reads.
TEST(HardeningFaults, FailingStandardOutputIsEntry38ForUnit6) {
  const Pair& pair = smallPair();
  struct Case {
    OutputKind kind;
    int error;
  };
  for (const Case& c : {Case{OutputKind::devFull, ENOSPC}, Case{OutputKind::closed, EBADF}}) {
    RunRequest request = pairRequest(pair);
    request.stdoutKind = c.kind;
    const RunResult result = runProgram(request);
    EXPECT_EQ(result.err,
              unitFailureReport(result.err, std::strerror(c.error), 38, "error during write", 6, "CONOUT$"));
    EXPECT_EQ(result.exitStatus, 38);
    EXPECT_EQ(result.files.count("out.wav"), 0u);
  }

  // The reader of the pipe ends before the program starts; only then is
  // the program let go.
  RunRequest request = pairRequest(pair);
  request.program = "/bin/sh";
  request.env["QUADREL_PROGRAM"] = programPath();
  request.args = {"-c",
                  "mkfifo gate; "
                  "( read go < gate; \"$QUADREL_PROGRAM\" wx.wav yz.wav out.wav; echo $? > status ) | "
                  "( exec 0<&-; echo go > gate )"};
  const RunResult result = runProgram(request);
  EXPECT_EQ(result.files.at("status"), "38\n") << "141 is a death by SIGPIPE";
  EXPECT_EQ(result.err,
            unitFailureReport(result.err, std::strerror(EPIPE), 38, "error during write", 6, "CONOUT$"));
  EXPECT_EQ(result.files.count("out.wav"), 0u);
}

// Every cut inside the headers and at their end; cuts inside and between
// frames are UnitsEndToEnd.InputEndingInsideAFrameKeepsTheCompleteFramesBeforeIt.
class InputEndingInTheHeader : public ::testing::TestWithParam<int> {};

TEST_P(InputEndingInTheHeader, ReportsItsUnitAndKeepsTheRecordsShown) {
  const int unit = GetParam();
  const Pair& pair = smallPair();
  for (std::size_t cut = 0; cut <= 44; ++cut) {
    SCOPED_TRACE("unit " + std::to_string(unit) + " ends after " + std::to_string(cut) + " bytes");
    RunRequest request = pairRequest(pair);
    request.files[unit == 1 ? "wx.wav" : "yz.wav"].resize(cut);
    const RunResult result = runProgram(request);
    const std::string name = result.dir + (unit == 1 ? "/wx.wav" : "/yz.wav");
    EXPECT_EQ(result.err, unitFailureReport(result.err, "", 24, "end-of-file during read", unit, name));
    EXPECT_EQ(result.exitStatus, 24);
    if (cut < 44) {
      std::string shown = bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav");
      if (unit == 2) shown += summaryRecords(1, pair.frames, 2, 44100, 16);
      EXPECT_EQ(result.out, shown);
      EXPECT_EQ(result.files.count("out.wav"), 0u);
      continue;
    }
    EXPECT_EQ(result.out, recordsThrough(pair, savingRecord));
    EXPECT_EQ(outputOf(result), pair.expected.substr(0, 44));
  }
}

INSTANTIATE_TEST_SUITE_P(HardeningFaults, InputEndingInTheHeader, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 1 ? std::string("Wx") : std::string("Yz");
                         });

// Run A holds the output while it waits in its frame loop for the rest of
// its WX file, which comes through a FIFO; run B, on the same output, must
// be refused and change nothing; A then finishes with its full result.
TEST(HardeningFaults, SecondRunOnAnOutputInUseIsRefusedAndChangesNothing) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  const Pair& pair = largePair();
  RunRequest request = pairRequest(pair);
  request.args[0] = "wx.fifo";
  request.prepare = [](const std::string& dir) { mkfifo((dir + "/wx.fifo").c_str(), 0600); };
  RunningProgram first(request);
  h::FifoWriter feed;
  ASSERT_TRUE(feed.open(first.dir() + "/wx.fifo"));
  const std::size_t half = 44 + 4 * static_cast<std::size_t>(pair.frames / 2);
  ASSERT_TRUE(feed.write(std::string_view(pair.wx).substr(0, half)));
  ASSERT_TRUE(first.waitForOutput(savingRecord));
  ASSERT_TRUE(h::waitUntilWaitingIn(first.pid(), h::readCall, &feed));

  RunRequest secondRequest;
  secondRequest.args = {first.dir() + "/wx.wav", first.dir() + "/yz.wav", first.dir() + "/out.wav"};
  const RunResult second = runProgram(secondRequest);
  EXPECT_EQ(second.exitStatus, 30);
  EXPECT_EQ(second.err, unitFailureReport(second.err, std::strerror(EBUSY), 30, "open failure", 9,
                                          first.dir() + "/out.wav"));
  EXPECT_EQ(second.out.find(" Outfile Fsampling"), std::string::npos);

  ASSERT_TRUE(feed.write(std::string_view(pair.wx).substr(half)));
  feed.close();
  const RunResult result = first.finish();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(outputOf(result) == pair.expected) << "the output is not the first run's result";
}

// A WX file cut shorter while the run waits for its YZ file, inside the
// last chunk after the data (a file still being copied, a sync tool): the
// output ends after the whole chunks, its header settled, as a stream's
// end would leave it.
TEST(HardeningFaults, WxFileCutShorterDuringTheRunKeepsItsWholeChunks) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  const std::int32_t frames = 600000;
  const std::string fmt = chunk("fmt ", formatBody({}));
  const std::string wx = waveFile(
      "RIFF", {chunk("JUNK", std::string(28, '\0')), fmt, chunk("data", samplePattern(23, 4 * frames)),
               chunk("LIST", std::string(90, 'L')), chunk("cue ", std::string(3001, 'c'))});
  const std::string yz = waveFile("RIFF", {fmt, chunk("data", samplePattern(24, 4 * frames))});
  const std::string cutWx = wx.substr(0, wx.size() - 1500);
  RunRequest request;
  request.args = {"wx.wav", "yz.fifo", "out.wav"};
  request.files = {{"wx.wav", wx}};
  request.prepare = [](const std::string& dir) { mkfifo((dir + "/yz.fifo").c_str(), 0600); };
  RunningProgram program(request);
  h::FifoWriter feed;
  ASSERT_TRUE(feed.open(program.dir() + "/yz.fifo"));
  const std::size_t part = 44 + 4 * static_cast<std::size_t>(frames / 10);
  ASSERT_TRUE(feed.write(std::string_view(yz).substr(0, part)));
  ASSERT_TRUE(h::waitUntilWaitingIn(program.pid(), h::readCall, &feed));
  ASSERT_EQ(truncate((program.dir() + "/wx.wav").c_str(), static_cast<off_t>(cutWx.size())), 0);
  ASSERT_TRUE(feed.write(std::string_view(yz).substr(part)));
  feed.close();
  const RunResult result = program.finish();

  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  const std::string expected = *expectedChunkedConversion(cutWx, yz);
  EXPECT_EQ(outputOf(result).size(), expected.size());
  EXPECT_TRUE(outputOf(result) == expected) << "the output is not the whole chunks";
}

// Completed output reaches the file before the report is written: with
// FORT0 naming a FIFO, the report waits in its open until the test reads,
// and by then the file must hold every frame before the failure.
TEST(HardeningFaults, CompletedOutputIsInTheFileBeforeTheReport) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  const Pair& pair = largePair();
  RunRequest request = pairRequest(pair);
  const std::size_t wholeFrames = 100000;
  request.files["yz.wav"].resize(44 + 4 * wholeFrames + 2);
  request.env["FORT0"] = "{dir}/report.fifo";
  request.prepare = [](const std::string& dir) { mkfifo((dir + "/report.fifo").c_str(), 0600); };
  RunningProgram program(request);
  const std::string output = program.dir() + "/out.wav";
  const std::size_t expectedSize = 44 + 8 * wholeFrames;
  const h::Clock::time_point deadline = h::Clock::now() + std::chrono::seconds(20);
  std::error_code error;
  while (std::filesystem::file_size(output, error) != expectedSize && h::Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(h::waitUntilWaitingIn(program.pid(), h::openCall)) << "the report did not wait for its FIFO";
  EXPECT_EQ(std::filesystem::file_size(output, error), expectedSize) << "the frames were not saved first";

  // Opened without waiting, so that a program that never opens the FIFO
  // cannot hang the test.
  const int reader = open((program.dir() + "/report.fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::string report;
  while (h::Clock::now() < deadline) {
    pollfd ready{reader, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(reader, buffer, sizeof buffer);
    if (got > 0) report.append(buffer, static_cast<std::size_t>(got));
    if (got == 0 && !report.empty()) break;
  }
  close(reader);
  const RunResult result = program.finish();
  EXPECT_EQ(report, unitFailureReport(report, "", 24, "end-of-file during read", 2, result.dir + "/yz.wav"));
  EXPECT_EQ(result.exitStatus, 24);
  EXPECT_EQ(outputOf(result), pair.expected.substr(0, expectedSize));
}

// A signal while the program waits for the rest of a frame: the output
// holds the header and the frames before it, byte for byte.
struct SignalCase {
  const char* name;
  int signal;
  std::string err;
  std::string outTail;
  int exitStatus;
};

void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }

class SignalInFrameLoop : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalInFrameLoop, LeavesTheHeaderAndWholeFramesOnly) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  const Pair& pair = largePair();
  RunRequest request = pairRequest(pair);
  request.args[0] = "wx.fifo";
  request.prepare = [](const std::string& dir) { mkfifo((dir + "/wx.fifo").c_str(), 0600); };
  RunningProgram program(request);
  h::FifoWriter feed;
  ASSERT_TRUE(feed.open(program.dir() + "/wx.fifo"));
  // More frames than one gathered write holds, then half a frame.
  const std::size_t wholeFrames = 140000;
  ASSERT_TRUE(feed.write(std::string_view(pair.wx).substr(0, 44 + 4 * wholeFrames + 2)));
  ASSERT_TRUE(h::waitUntilWaitingIn(program.pid(), h::readCall, &feed));
  program.sendSignal(GetParam().signal);
  const RunResult result = program.finish();
  feed.close();

  EXPECT_EQ(result.termSignal, 0);
  EXPECT_EQ(result.exitStatus, GetParam().exitStatus);
  EXPECT_EQ(result.err, GetParam().err);
  EXPECT_EQ(result.out, recordsThrough(pair, savingRecord, "wx.fifo") + GetParam().outTail);
  const std::string output = outputOf(result);
  EXPECT_EQ(output.size(), 44 + 8 * wholeFrames);
  EXPECT_TRUE(output == pair.expected.substr(0, 44 + 8 * wholeFrames)) << "the frames differ";
}

INSTANTIATE_TEST_SUITE_P(
    HardeningFaults, SignalInFrameLoop,
    ::testing::Values(SignalCase{"Interrupt", SIGINT,
                                 "forrtl: error (200): program aborting due to control-C event\r\r\n", "", 0},
                      SignalCase{"Terminate", SIGTERM,
                                 "forrtl: error (200): program aborting due to unknown event\r\r\n", "", 6},
                      SignalCase{"SegmentationFault", SIGSEGV, "",
                                 "forrtl: severe: Program Exception - access violation\r\n", 0}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

// A run on a terminal, one input through a FIFO in 16 pieces: fed slowly,
// over two seconds, the terminal shows the progress line in place after one
// second, erased before the completion record or the report. Fed at once,
// or with its reports sent elsewhere by FORT0, it shows exactly its records.
struct ProgressCase {
  const char* name;
  std::string fifo;       // "wx.wav" or "yz.wav"
  int pauseMs;            // after each piece
  bool fort0, interrupt;  // FORT0 set; control-C once the line shows
  std::string frame;      // a scanf format taking a whole frame, then %n; empty: no line
};

void PrintTo(const ProgressCase& c, std::ostream* out) { *out << c.name; }

class ProgressOnATerminal : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressOnATerminal, ShowsTheLineOnlyWhenDueAndErasesItBeforeAnythingElse) {
  if (programRunsUnderWine()) GTEST_SKIP() << "Wine puts a console of its own in front of a terminal";
  const ProgressCase& c = GetParam();
  static const Pair pair = makePair(1 << 20, "");
  RunRequest request = pairRequest(pair);
  request.stdoutKind = OutputKind::terminal;
  if (c.fort0) request.env["FORT0"] = "no-such-folder/reports.txt";
  request.files.erase(c.fifo);
  request.prepare = [&c](const std::string& dir) { mkfifo((dir + "/" + c.fifo).c_str(), 0600); };
  RunningProgram program(request);
  h::FifoWriter feed;
  ASSERT_TRUE(feed.open(program.dir() + "/" + c.fifo));
  const std::string_view bytes = c.fifo == "wx.wav" ? pair.wx : pair.yz;
  for (std::size_t at = 0; at < bytes.size(); at += bytes.size() / 16 + 1) {
    ASSERT_TRUE(feed.write(bytes.substr(at, bytes.size() / 16 + 1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
    if (c.interrupt && program.waitForOutput("/s", std::chrono::milliseconds(1))) break;
  }
  if (c.interrupt) program.sendSignal(SIGINT);
  feed.close();
  const RunResult result = program.finish();

  EXPECT_EQ(result.exitStatus, 0);
  const std::string records = recordsThrough(pair, "");
  const std::string before = recordsThrough(pair, savingRecord);
  const std::string after =
      "\r" + std::string(36, ' ') + "\r" +
      (c.interrupt ? "forrtl: error (200): program aborting due to control-C event\r\r\n"
                   : records.substr(before.size()));
  EXPECT_TRUE(!c.frame.empty() || result.out == records) << "no line was due:\n" << result.out;
  if (c.frame.empty()) return;
  ASSERT_TRUE(result.out.starts_with(before) && result.out.ends_with(after)) << result.out;
  const std::string frames =
      result.out.substr(before.size(), result.out.size() - before.size() - after.size());
  EXPECT_TRUE(!frames.empty() && frames.size() % 37 == 0) << "frames of CR and 36 columns: " << frames;
  for (std::size_t at = 0; at + 37 <= frames.size(); at += 37) {
    const std::string frame = frames.substr(at, 37);
    int matched = -1;
    std::sscanf(frame.c_str(), c.frame.c_str(), &matched);
    EXPECT_TRUE(frame[0] == '\r' && frame.find_last_not_of(' ') + 1 == std::size_t(matched)) << frame;
  }
}

const std::string knownLength = "\r%*u%%   %*f %*[kMG]B of %*f %*[kMG]B   %*f %*[kMG]B/s%n";

INSTANTIATE_TEST_SUITE_P(
    HardeningFaults, ProgressOnATerminal,
    ::testing::Values(ProgressCase{"ShortRun", "yz.wav", 0, false, false, ""},
                      ProgressCase{"KnownLength", "yz.wav", 125, false, false, knownLength},
                      ProgressCase{"UnknownLength", "wx.wav", 125, false, false,
                                   "\r%*f %*[kMG]B   %*f %*[kMG]B/s%n"},
                      ProgressCase{"ReportsInFort0", "yz.wav", 125, true, false, ""},
                      ProgressCase{"Interrupt", "yz.wav", 125, false, true, knownLength}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) { return std::string(info.param.name); });

// A write that never finishes, then control-C: the output holds every
// completed request, the stalled one written again by the ending, and
// nothing of the longer file it replaces.
//  - A gathered write of 1 MiB that the output's helper thread has in hand:
//    the next buffer fills up behind it and waits.
//  - The cut after a header longer than the gathered buffer (a bext chunk
//    of 1 MiB), which went to the file on its own.
TEST(HardeningFaults, InterruptWhileAWriteStallsKeepsEveryCompletedRequest) {
  if (programRunsUnderWine()) GTEST_SKIP() << faultLayerUnderWine;
  for (const bool longHeader : {false, true}) {
    SCOPED_TRACE(longHeader ? "long header" : "write behind");
    Pair pair = largePair();
    std::size_t kept = 44 + 2 * (1 << 20);
    if (longHeader) {
      const std::string fmt = chunk("fmt ", formatBody({}));
      pair.wx = waveFile("RIFF", {chunk("bext", std::string(1 << 20, 'b')), fmt,
                                  chunk("data", samplePattern(21, 4 * pair.frames))});
      pair.yz = waveFile("RIFF", {fmt, chunk("data", samplePattern(22, 4 * pair.frames))});
      pair.expected = *expectedChunkedConversion(pair.wx, pair.yz);
      kept = readWavLayout(pair.expected)->dataStart;
    }
    RunRequest request = pairRequest(pair);
    request.program = faultyProgramPath();
    request.files["out.wav"] = std::string(3 << 20, 'x');
    // The header is written by the main thread, at once, because the file
    // is cut after its first request; the helper's first write is the first
    // buffer of frames. Control-C comes once that write sits stalled and the
    // main thread waits for it, or once the cut after the header stalls.
    request.env["QUADREL_TEST_FAULTS"] = longHeader ? "cut:1:0" : "behind:1:0";
    request.env["QUADREL_TEST_STALLED"] = "{dir}/stalled";
    RunningProgram program(request);
    ASSERT_TRUE(h::waitForFile(program.dir() + "/stalled")) << "the write or the cut did not stall";
    ASSERT_TRUE(h::waitUntilWaitingIn(program.pid(), longHeader ? SYS_pause : SYS_futex))
        << "the program did not wait for its write";
    program.sendSignal(SIGINT);
    const RunResult result = program.finish();

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "forrtl: error (200): program aborting due to control-C event\r\r\n");
    EXPECT_EQ(result.out, recordsThrough(pair, longHeader ? "Outfile" : savingRecord));
    const std::string expected = pair.expected.substr(0, kept);
    EXPECT_EQ(outputOf(result).size(), expected.size());
    EXPECT_TRUE(outputOf(result) == expected) << "the output is not every completed request";
  }
}

// An ending that has come to a halt: its report waits to open FORT0, a FIFO
// that nobody reads. A control event or a processor exception that comes
// then ends the process at once, with its own status, and the output holds
// every request completed before the halt.
enum class HaltedEnding {
  severeReport,  // the WX file is missing
  infoReport,    // a real that the output's representation lacks, inside a write of unit 9
  controlEvent,  // control-C while the frame loop waits for the WX file
};

struct EndingCase {
  const char* name;
  HaltedEnding halted;
  int signal;
  bool ignoreExceptions;
  int exitStatus;  // -1: the signal itself ends the process
  std::string outTail;
};

void PrintTo(const EndingCase& c, std::ostream* out) { *out << c.name; }

class SignalDuringAnEnding : public ::testing::TestWithParam<EndingCase> {};

// 32-bit reals, all 0.0 but one NaN in the WX file: the output's VAX form
// has no NaN, so the write of that frame reports it and goes on.
Pair realPairWithNanAt(std::int32_t frames, std::int32_t nanFrame) {
  WavSpec recipe;
  recipe.bitsPerSample = 32;
  recipe.formatTag = 3;
  recipe.sampleBytes = std::string(8 * static_cast<std::size_t>(frames), '\0');
  Pair pair;
  pair.frames = frames;
  pair.yz = buildWav(recipe);
  recipe.sampleBytes->replace(8 * static_cast<std::size_t>(nanFrame), 4, std::string("\0\0\xC0\x7F", 4));
  pair.wx = buildWav(recipe);
  pair.expected = *expectedConversion(pair.wx, pair.yz);
  return pair;
}

TEST_P(SignalDuringAnEnding, EndsAtOnceWithItsOwnStatusAndKeepsTheCompletedOutput) {
  if (programRunsUnderWine()) GTEST_SKIP() << h::fifoUnderWine;
  const EndingCase& c = GetParam();
  const std::size_t wholeFrames = 140000;
  const std::int32_t nanFrame = 50000;
  Pair pair = c.halted == HaltedEnding::infoReport ? realPairWithNanAt(100000, nanFrame) : largePair();
  RunRequest request = pairRequest(pair);
  request.env["FORT0"] = "{dir}/report.fifo";
  if (c.ignoreExceptions) request.env["FOR_IGNORE_EXCEPTIONS"] = "1";
  std::string records = bannerRecords() + echoRecords("wx.wav", "yz.wav", "out.wav");
  std::string output;
  switch (c.halted) {
    case HaltedEnding::severeReport:
      request.files.erase("wx.wav");
      break;
    case HaltedEnding::infoReport:
      request.env["FORT_CONVERT9"] = "VAXD";
      records += summaryRecords(1, pair.frames, 2, 44100, 32) + summaryRecords(2, pair.frames, 2, 44100, 32) +
                 " Outfile Fsampling =   44100 Hz\r\n \r\n" + std::string(savingRecord) + "\r\n";
      output = pair.expected.substr(0, 44 + 16 * static_cast<std::size_t>(nanFrame));
      break;
    case HaltedEnding::controlEvent:
      request.args[0] = "wx.fifo";
      records = recordsThrough(pair, savingRecord, "wx.fifo");
      output = pair.expected.substr(0, 44 + 8 * wholeFrames);
      break;
  }
  request.prepare = [](const std::string& dir) {
    mkfifo((dir + "/report.fifo").c_str(), 0600);
    mkfifo((dir + "/wx.fifo").c_str(), 0600);
  };

  RunningProgram program(request);
  h::FifoWriter feed;
  if (c.halted == HaltedEnding::controlEvent) {
    ASSERT_TRUE(feed.open(program.dir() + "/wx.fifo"));
    ASSERT_TRUE(feed.write(std::string_view(pair.wx).substr(0, 44 + 4 * wholeFrames + 2)));
    ASSERT_TRUE(h::waitUntilWaitingIn(program.pid(), h::readCall, &feed));
    program.sendSignal(SIGINT);
  }
  ASSERT_TRUE(h::waitUntilWaitingIn(program.pid(), h::openCall)) << "the ending did not halt at FORT0";
  program.sendSignal(c.signal);
  const RunResult result = program.finish(std::chrono::seconds(5));

  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.termSignal, c.exitStatus < 0 ? c.signal : 0);
  EXPECT_EQ(result.err, "") << "the reports wait for FORT0";
  EXPECT_EQ(result.out, records + c.outTail);
  EXPECT_EQ(result.files.count("out.wav"), c.halted == HaltedEnding::severeReport ? 0u : 1u);
  EXPECT_EQ(outputOf(result).size(), output.size());
  EXPECT_TRUE(outputOf(result) == output) << "the output is not the requests completed before the halt";
}

const std::string accessViolation = "forrtl: severe: Program Exception - access violation\r\n";

INSTANTIATE_TEST_SUITE_P(
    HardeningFaults, SignalDuringAnEnding,
    ::testing::Values(
        EndingCase{"SevereReportThenInterrupt", HaltedEnding::severeReport, SIGINT, false, 0, ""},
        EndingCase{"SevereReportThenQuit", HaltedEnding::severeReport, SIGQUIT, false, 1, ""},
        EndingCase{"SevereReportThenHangUp", HaltedEnding::severeReport, SIGHUP, false, 2, ""},
        EndingCase{"SevereReportThenTerminate", HaltedEnding::severeReport, SIGTERM, false, 6, ""},
        EndingCase{"SevereReportThenFault", HaltedEnding::severeReport, SIGSEGV, false, 0, accessViolation},
        EndingCase{"InfoReportOnTheOutputThenInterrupt", HaltedEnding::infoReport, SIGINT, false, 0, ""},
        EndingCase{"ControlEventThenFault", HaltedEnding::controlEvent, SIGSEGV, false, 0, accessViolation},
        EndingCase{"ControlEventThenIgnoredFault", HaltedEnding::controlEvent, SIGSEGV, true, -1, ""}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });

// Fail call N of one kind, for N = 1, 2, ... until a run is the clean run.
struct CallKindCase {
  const char* kind;
  int error;
  std::size_t leastFailures;  // calls of the kind that a conversion makes at least
  int number;                 // the catalogue entry reported, and the exit status
  const char* text;
};

void PrintTo(const CallKindCase& c, std::ostream* out) { *out << c.kind; }

class FailingNthCall : public ::testing::TestWithParam<CallKindCase> {};

// What the report of a run names: the unit, from its catalogue line.
int reportedUnit(const std::string& err) {
  const std::size_t at = err.rfind(", unit ");
  return at == std::string::npos ? -1 : std::stoi(err.substr(at + 7));
}

std::string unitFile(int unit, const std::string& dir) {
  if (unit == 6) return "CONOUT$";
  return dir + (unit == 1 ? "/wx.wav" : unit == 2 ? "/yz.wav" : "/out.wav");
}

// The output a failing record on standard output leaves: what was complete
// when that record was due.
std::optional<std::string> outputBehindRecords(const std::string& out, const Pair& pair) {
  if (out.find(" Number of data points #2") == std::string::npos ||
      out.find(" Sampling Frequency #2") == std::string::npos) {
    return std::nullopt;
  }
  if (out.find(" Outfile Fsampling") == std::string::npos) return std::string();
  if (out.find(savingRecord) == std::string::npos) return pair.expected.substr(0, 44);
  return pair.expected;
}

TEST_P(FailingNthCall, EachFailureIsReportedAndLeavesWholeRequests) {
  if (programRunsUnderWine()) GTEST_SKIP() << faultLayerUnderWine;
  const CallKindCase& kind = GetParam();
  const Pair& pair = largePair();
  const std::string cleanOut = recordsThrough(pair, "");
  std::size_t failures = 0;
  for (int nth = 1; nth < 100; ++nth) {
    SCOPED_TRACE(std::string(kind.kind) + " call " + std::to_string(nth));
    RunRequest request = pairRequest(pair);
    request.program = faultyProgramPath();
    request.env["QUADREL_TEST_FAULTS"] =
        std::string(kind.kind) + ":" + std::to_string(nth) + ":" + std::to_string(kind.error);
    const RunResult result = runProgram(request);
    const std::string output = outputOf(result);
    if (result.exitStatus == 0 && result.err.empty() && result.out == cleanOut && output == pair.expected)
      break;
    ++failures;

    EXPECT_EQ(result.termSignal, 0);
    const int unit = reportedUnit(result.err);
    // The WX file's size, asked while its header is read, fails as a read.
    const bool readSize = std::string_view(kind.kind) == "size" && unit == 1 && result.exitStatus == 39;
    const int number = readSize ? 39 : kind.number;
    EXPECT_EQ(result.err, unitFailureReport(result.err, std::strerror(kind.error), number,
                                            readSize ? "error during read" : kind.text, unit,
                                            unitFile(unit, result.dir)));
    EXPECT_EQ(result.exitStatus, number);
    EXPECT_EQ(result.out, cleanOut.substr(0, result.out.size()));
    EXPECT_TRUE(result.out.empty() || result.out.ends_with("\r\n"));
    const std::string_view name = kind.kind;
    if (name == "open") {
      EXPECT_EQ(result.files.count("out.wav"), 0u);
    } else if (name == "read") {
      EXPECT_TRUE(unit == 1 || unit == 2);
      if (result.out.find(savingRecord) == std::string::npos) {
        EXPECT_EQ(result.files.count("out.wav"), 0u);
      } else {
        EXPECT_TRUE(output.size() >= 44 && output.size() < 44 + 8 * static_cast<std::size_t>(pair.frames) &&
                    (output.size() - 44) % 8 == 0)
            << output.size() << " bytes are not the header and whole frames";
        EXPECT_TRUE(output == pair.expected.substr(0, output.size()));
      }
    } else if (name == "write" || name == "cut") {
      EXPECT_TRUE(unit == 6 || unit == 9);
      if (unit == 6) {
        const std::optional<std::string> left = outputBehindRecords(result.out, pair);
        EXPECT_EQ(result.files.count("out.wav"), left ? 1u : 0u);
        if (left) {
          EXPECT_TRUE(output == *left) << output.size() << " bytes, not " << left->size();
        }
      } else {
        EXPECT_TRUE(endsAtRequest(output.size(), pair)) << output.size() << " bytes";
        EXPECT_TRUE(output == pair.expected.substr(0, output.size()));
      }
    } else if (name == "close") {
      EXPECT_TRUE(output == pair.expected) << "the output is not complete";
    } else if (name == "size" || name == "rewind") {
      // Refused or failed after the output's open created it: empty.
      EXPECT_EQ(result.files.count("out.wav"), unit == 9 ? 1u : 0u);
      EXPECT_EQ(output, "");
    }
  }
  EXPECT_GE(failures, kind.leastFailures);
}

INSTANTIATE_TEST_SUITE_P(
    HardeningFaults, FailingNthCall,
    ::testing::Values(CallKindCase{"open", EACCES, 3, 9, "permission to access file denied"},
                      CallKindCase{"read", EIO, 4, 39, "error during read"},
                      CallKindCase{"write", ENOSPC, 16, 38, "error during write"},
                      CallKindCase{"cut", EIO, 1, 38, "error during write"},
                      CallKindCase{"close", EIO, 3, 28, "CLOSE error"},
                      CallKindCase{"size", EIO, 3, 30, "open failure"},
                      CallKindCase{"rewind", EIO, 1, 20, "REWIND error"}),
    [](const ::testing::TestParamInfo<CallKindCase>& info) { return std::string(info.param.kind); });

// A stream through a pipe gets its header written again with the real sizes
// at the end. Every write failing in turn: a failure on the output claims
// no success and leaves the header as first written over the frames, never
// a mix of the two.
TEST(HardeningFaults, FailingWritesAroundTheSettledHeaderLeaveTheFirstOneWhole) {
  if (programRunsUnderWine()) GTEST_SKIP() << faultLayerUnderWine;
  const std::string fmt = chunk("fmt ", formatBody({}));
  const std::string wx = waveFile(
      "RIFF", {fmt, chunk("LIST", "INFO"), chunkWithSize("data", 0xFFFFFFFF, samplePattern(31, 4000))},
      0xFFFFFFFF);
  const std::string yz = buildWav(stereo16(1000, 32));
  const std::string settled = *expectedChunkedConversion(wx, yz, {false, true, std::nullopt});
  std::string first = settled;
  first.replace(4, 4, std::string(4, '\xFF'));
  first.replace(settled.find("fmt ") + 28, 4, std::string(4, '\xFF'));  // the data size, after fmt
  bool rewriteFailed = false;
  for (int nth = 1; nth < 40; ++nth) {
    SCOPED_TRACE("write call " + std::to_string(nth));
    RunRequest request;
    request.args = {"CONIN$", "yz.wav", "out.wav"};
    request.files = {{"yz.wav", yz}};
    request.stdinBytes = wx;
    request.program = faultyProgramPath();
    request.env["QUADREL_TEST_FAULTS"] = "write:" + std::to_string(nth) + ":" + std::to_string(ENOSPC);
    const RunResult result = runProgram(request);
    const std::string output = outputOf(result);
    if (result.exitStatus == 0) {
      EXPECT_TRUE(output == settled) << "the clean run";
      break;
    }
    EXPECT_EQ(result.exitStatus, 38);
    if (reportedUnit(result.err) != 9) continue;
    EXPECT_EQ(result.out.find("Conversion terminated OK"), std::string::npos);
    EXPECT_TRUE(output == first.substr(0, output.size())) << output.size() << " bytes";
    rewriteFailed = rewriteFailed || output == first;
  }
  EXPECT_TRUE(rewriteFailed) << "no run failed in the rewrite of the header";
}

}  // namespace
}  // namespace quadrel::harness
