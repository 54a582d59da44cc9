// Synthetic B-format scenes, for the sound offset search: clicks, voices or
// a repeating pattern from chosen directions, their reflections, and
// diffuse noise, written as traditional B-format (W 3 dB down).
#pragma once

#include <cstdint>
#include <vector>

namespace quadrel::harness {

struct Arrival {
  double delay = 0;  // seconds after the direct sound
  double gain = 1;
  double azimuth = 0, elevation = 0;  // degrees: azimuth 90 is left, elevation 90 up
};

enum class SourceKind : std::uint8_t { clicks, voice, pattern };

struct SceneSource {
  SourceKind kind = SourceKind::clicks;
  std::vector<Arrival> arrivals;  // the direct sound first
};

struct SceneSpec {
  std::uint32_t rate = 8000;
  double seconds = 0;
  std::vector<SceneSource> sources;
  double noiseDb = -200;  // diffuse noise against the sources' level
  std::uint32_t seed = 1;
};

struct Channels {
  std::vector<float> w, x, y, z;
};

Channels renderScene(const SceneSpec& recipe);

// `count` frames of `in` from `first` on (zeros outside it); with `ppm`, as
// a recorder whose clock runs that many parts per million slow would take
// them (linear interpolation).
std::vector<float> cut(const std::vector<float>& in, std::int64_t first, std::int64_t count, double ppm = 0);

}  // namespace quadrel::harness
