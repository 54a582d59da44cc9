// Reading the inputs' frames for the sound offset search, and what the
// conversion says of its answers.
#include "converter/sound_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "converter/rejection.h"
#include "converter/sample_decoding.h"
#include "services/console/output_records.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr std::int64_t openingSeconds = 120;  // frames searched of each file
constexpr std::int64_t reachSeconds = 60;     // offsets searched either way
constexpr std::int64_t closingSeconds = 60;   // frames searched again at the end, for drift
constexpr std::int64_t shortestTake = 60;     // seconds; below, no drift is measured
constexpr std::int64_t framesAPiece = 65536;  // read at a time

struct Channels {
  std::vector<float> a, b;
};

// `frames` frames from frame `first` of input `unit`, a regular file; false
// where the file ends first or its samples are of a kind not decoded.
bool readFrames(int unit, const InputDescription& input, std::int64_t first, std::int64_t frames,
                Channels& into) {
  // Big-endian samples: a RIFX file, or one read under a setting that turns its numbers.
  const ByteOrderSettings& order = byteOrderOf(unit);
  const bool bigEndian =
      input.bigEndian ||
      (order.convert &&
       (input.format.kind == SampleKind::ieeeFloat ? order.reverseReals : order.reverseIntegers));
  const std::size_t frameLength = input.format.blockAlign;
  std::vector<std::byte> bytes;
  for (std::int64_t done = 0; done < frames; done += framesAPiece) {
    const std::int64_t count = std::min(framesAPiece, frames - done);
    bytes.resize(static_cast<std::size_t>(count) * frameLength);
    const std::uint64_t at = input.dataStart + static_cast<std::uint64_t>(first + done) * frameLength;
    if (!peekAt(unit, at, bytes)) return false;
    if (!decodeStereo(bytes, input.format, bigEndian, into.a, into.b)) return false;
  }
  return true;
}

bool regularFiles(const ConversionFiles& files) {
  return bytesLeftInUnit(files.wx).has_value() && bytesLeftInUnit(files.yz).has_value();
}

// The search on `frames` frames of each input from the frames given.
std::optional<std::variant<SoundMatch, SoundRefusal>> search(const ConversionFiles& files,
                                                             const InputDescription& wx, std::int64_t wxFirst,
                                                             std::int64_t wxCount, const InputDescription& yz,
                                                             std::int64_t yzFirst, std::int64_t yzCount,
                                                             std::int64_t reach) {
  Channels wxFrames, yzFrames;
  if (!readFrames(files.wx, wx, wxFirst, wxCount, wxFrames) ||
      !readFrames(files.yz, yz, yzFirst, yzCount, yzFrames)) {
    return std::nullopt;
  }
  return findSoundOffset({wxFrames.a, wxFrames.b, yzFrames.a, yzFrames.b, wx.format.sampleRate}, reach);
}

std::string_view refusalText(SoundRefusal refusal) {
  switch (refusal) {
    case SoundRefusal::silence:
      return "ERROR - Too little sound in the first 2 minutes to align by; try --offset=N";
    case SoundRefusal::noMatch:
      return "ERROR - The sound matches at no one offset; try --offset=N";
    case SoundRefusal::repeats:
      return "ERROR - The sound matches at offsets far apart; try --offset=N";
    case SoundRefusal::echo:
      return "ERROR - An echo matches nearly as well as the sound; try --offset=N";
  }
  return "ERROR - The sound names no offset; try --offset=N";
}

void warn(const std::string& text) { writeValueListRecord({ListValue::string("WARNING - " + text)}); }

}  // namespace

SoundMatch offsetFromSound(const ConversionFiles& files, const InputDescription& wx, Frames wxFrames,
                           const InputDescription& yz) {
  const Frames yzFrames = yz.dataLength
                              ? frameCount(*yz.dataLength, static_cast<std::int16_t>(yz.format.blockAlign))
                              : std::nullopt;
  if (!regularFiles(files) || !wxFrames || !yzFrames) {
    rejectInputPair("ERROR - --align=sound reads regular files, not pipes; try --offset=N");
  }
  const std::int64_t rate = wx.format.sampleRate;
  const auto found = search(files, wx, 0, std::min(*wxFrames, openingSeconds * rate), yz, 0,
                            std::min(*yzFrames, openingSeconds * rate), reachSeconds * rate);
  if (!found) rejectInputPair("ERROR - --align=sound cannot read these samples; try --offset=N");
  if (const SoundRefusal* refusal = std::get_if<SoundRefusal>(&*found))
    rejectInputPair(refusalText(*refusal));
  return std::get<SoundMatch>(*found);
}

void checkAlignmentBySound(const ConversionFiles& files, const AlignmentFacts& facts,
                           const InputDescription& wx, const InputDescription& yz) {
  const Span& span = facts.span;
  if (!regularFiles(files) || !span.frames || span.streamMayEndFirst) return;
  const std::int64_t rate = facts.rate, frames = *span.frames, given = facts.placement.yzStart;
  if (facts.alignment != Alignment::sound) {
    // The opening of the span, where the two files should match at lag 0.
    const std::int64_t count = std::min(frames, openingSeconds * rate);
    const auto found = search(files, wx, span.skipWx, count, yz, span.skipYz, count, reachSeconds * rate);
    if (!found || !std::holds_alternative<SoundMatch>(*found)) return;
    const std::int64_t off = std::get<SoundMatch>(*found).offset;
    if (std::abs(off) <= 1) return;
    warn("Sound: YZ " + std::to_string(given + off) + " frames after WX; used " +
         (facts.alignment == Alignment::timecode ? "the timecode's: " : "the offset given: ") +
         std::to_string(given));
    return;
  }
  if (frames < 2 * shortestTake * rate) return;
  // The closing stretch of the span, put where the start's offset says,
  // against the stretch both openings covered.
  const std::int64_t count = std::min(frames / 2, closingSeconds * rate);
  const auto found = search(files, wx, span.skipWx + frames - count, count, yz, span.skipYz + frames - count,
                            count, std::min(count / 4, rate));
  if (!found || !std::holds_alternative<SoundMatch>(*found)) return;
  const std::int64_t off = std::get<SoundMatch>(*found).offset;
  if (std::abs(off) <= 1) return;
  // The two offsets hold where each stretch matched best.
  const std::int64_t closingAt = span.skipWx + frames - count + std::get<SoundMatch>(*found).at;
  const Drift drift = driftBetween(0, off, closingAt - facts.soundAt);
  char ppm[32];
  std::snprintf(ppm, sizeof ppm, "%.1f", drift.ppm);
  const auto overTake =
      static_cast<std::int64_t>(std::llround(drift.ppm * 1e-6 * static_cast<double>(frames)));
  warn("Clocks drift " + std::to_string(overTake) + " frames over the take (" + ppm + " ppm); not resampled");
}

}  // namespace quadrel
