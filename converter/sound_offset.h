// Where the YZ recording starts against the WX recording, found from the
// sound itself.
//
// The four capsule signals of a B-format microphone are coincident: a sound
// reaches W, X, Y and Z at the same instant, weighted by its direction. So
// at the true lag the WX file's channels match the YZ file's channels, with
// signs and weights set by each sound's direction. The search scores every
// lag by the squared correlations of W and X with Y and Z, taken over short
// overlapping windows and summed (sign-free, so that sounds from opposite
// sides do not cancel), and answers with one lag only where that lag stands
// clearly above every other; otherwise it says why it cannot tell.
//
// Pure functions of values: nothing here reads or writes a file.
#pragma once

#include <cstdint>
#include <span>
#include <variant>

namespace quadrel {

// The opening frames of the two files (a few minutes at most), one channel
// to a span; W and X as long as each other, Y and Z too.
struct SoundOpenings {
  std::span<const float> w, x, y, z;
  std::uint32_t rate = 0;
};

enum class SoundRefusal : std::uint8_t {
  silence,  // an opening too short or without sound
  noMatch,  // no lag stands out: steady noise, or sound that reaches only W and X
  repeats,  // a lag far from the best matches nearly as well: a repeating sound
  echo,     // a lag within about 100 ms matches nearly as well: an echo
};

struct SoundMatch {
  std::int64_t offset = 0;  // YZ's first frame sits `offset` frames after WX's
  double confidence = 0;    // the best lag's match against the next best's
  std::int64_t at = 0;      // the WX frame, from the first given, where the match is strongest
};

// The lag, of at most `maxOffset` frames either way, at which the openings
// match, or why none can be named.
std::variant<SoundMatch, SoundRefusal> findSoundOffset(const SoundOpenings& openings, std::int64_t maxOffset);

// How far the second recorder's clock runs from the first's: the offsets
// measured at two places `span` frames apart.
struct Drift {
  std::int64_t frames = 0;  // the later offset less the earlier
  double ppm = 0;           // frames per million frames
};

Drift driftBetween(std::int64_t startOffset, std::int64_t endOffset, std::int64_t span);

}  // namespace quadrel
