// The progress line: when it is due, its text, and its erasing.
//
//   "  42%   1.7 GB of 4.1 GB   88 MB/s"   the output's length known
//   "  1.7 GB   88 MB/s"                   not known ahead
//
// Sizes are decimal (1 kB = 1000 bytes), one decimal below 10, truncated;
// the rate is the average since the start. Every frame is CR and the text
// padded with blanks to a fixed width, so a shorter text covers a longer
// one; the erasing is CR, that many blanks, CR.
#include "services/diagnostics/progress.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <iterator>
#include <limits>
#include <string_view>

#include "platform/platform.h"
#include "services/diagnostics/reports.h"

namespace quadrel {
namespace {

constexpr std::uint64_t firstShowMs = 1000;
constexpr std::uint64_t redrawMs = 100;
constexpr std::size_t lineWidth = 36;  // the longest text is 35 characters

constexpr std::array<char, lineWidth + 2> eraseBytes = [] {
  std::array<char, lineWidth + 2> bytes{};
  bytes.fill(' ');
  bytes.front() = '\r';
  bytes.back() = '\r';
  return bytes;
}();

// Set before a frame is written and cleared after the erasing, so that an
// ending at any instant between erases whatever part of the line is there
// (termination.h).
std::atomic<bool> lineShown{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Owner thread only.
struct Progress {
  bool running = false;
  std::optional<std::uint64_t> total;
  std::uint64_t written = 0;  // every byte of the output handed to the system
  std::uint64_t writtenAtStart = 0;
  std::uint64_t startMs = 0;
  std::uint64_t drawnMs = 0;
};

Progress progress;

void appendSize(FixedReport& line, std::uint64_t bytes) {
  constexpr std::string_view units[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
  std::size_t unit = 0;
  std::uint64_t scale = 1;
  while (unit + 1 < std::size(units) && bytes / scale >= 1000) {
    scale *= 1000;
    ++unit;
  }
  const std::uint64_t whole = bytes / scale;
  appendNumber(line, whole, 10);
  if (unit > 0 && whole < 10) {
    line += '.';
    appendNumber(line, bytes % scale / (scale / 10), 10);
  }
  line += ' ';
  line += units[unit];
}

// Whole per cent, without overflow for any length.
std::uint64_t perCent(std::uint64_t done, std::uint64_t total) {
  if (done >= total) return 100;
  return total <= std::numeric_limits<std::uint64_t>::max() / 100 ? done * 100 / total : done / (total / 100);
}

// One frame, CR and the text padded to the width, built without allocating.
FixedReport progressFrame(std::uint64_t nowMs) {
  FixedReport line;
  line += '\r';
  if (progress.total) {
    const std::uint64_t percent = perCent(progress.written, *progress.total);
    line += ' ';
    if (percent < 100) line += ' ';
    if (percent < 10) line += ' ';
    appendNumber(line, percent, 10);
    line += "%   ";
  } else {
    line += "  ";
  }
  appendSize(line, progress.written);
  if (progress.total) {
    line += " of ";
    appendSize(line, *progress.total);
  }
  const std::uint64_t moved = progress.written - progress.writtenAtStart;
  const std::uint64_t elapsed = std::max<std::uint64_t>(nowMs - progress.startMs, 1);
  line += "   ";
  appendSize(line, moved / elapsed * 1000 + moved % elapsed * 1000 / elapsed);
  line += "/s";
  while (line.size < lineWidth + 1)
    line += ' ';
  return line;
}

void writeToTerminal(const char* bytes, std::size_t size) {
  platform::writeAll(platform::standardHandle(platform::StandardStream::error), bytes, size);
}

}  // namespace

bool progressCanShow() {
  return !errorStreamRedirected() &&
         platform::isTerminal(platform::standardHandle(platform::StandardStream::error));
}

void startProgress(std::optional<std::uint64_t> total) {
  if (!progressCanShow()) return;
  progress.running = true;
  progress.total = total;
  progress.writtenAtStart = progress.written;
  progress.startMs = platform::monotonicMilliseconds();
  progress.drawnMs = progress.startMs;
}

void countOutputBytes(std::uint64_t bytes) {
  progress.written += bytes;
  if (!progress.running) return;
  const std::uint64_t now = platform::monotonicMilliseconds();
  if (now - progress.startMs < firstShowMs || now - progress.drawnMs < redrawMs) return;
  progress.drawnMs = now;
  const FixedReport frame = progressFrame(now);
  lineShown.store(true);
  writeToTerminal(frame.bytes.data(), frame.size);
}

void finishProgress() {
  progress.running = false;
  eraseProgressLine();
}

void eraseProgressLine() {
  if (!lineShown.load()) return;
  writeToTerminal(eraseBytes.data(), eraseBytes.size());
  lineShown.store(false);
}

}  // namespace quadrel
