// The scenes: each source's signal made once, then added at each arrival's
// delay with the arrival's direction weights.
#include "tests/support/bformat_scene.h"

#include <cmath>
#include <numbers>
#include <random>

namespace quadrel::harness {
namespace {

// Noise bursts decaying over 15 ms, 0.2 to 1.5 s apart.
std::vector<double> clicks(std::size_t n, double rate, std::mt19937& random) {
  std::vector<double> s(n, 0.0);
  std::normal_distribution<double> noise;
  std::uniform_real_distribution<double> gap(0.2, 1.5), level(0.3, 1.0);
  for (double t = gap(random); t * rate < n; t += gap(random)) {
    const double a = level(random);
    for (std::size_t i = 0; i < rate * 0.08 && t * rate + i < n; ++i) {
      s[static_cast<std::size_t>(t * rate) + i] +=
          a * noise(random) * std::exp(-static_cast<double>(i) / (0.015 * rate));
    }
  }
  return s;
}

// Syllables: a gliding pulse train through one formant resonance, a
// fricative burst before some of them.
std::vector<double> voice(std::size_t n, double rate, std::mt19937& random) {
  std::vector<double> s(n, 0.0);
  std::uniform_real_distribution<double> unit(0, 1);
  std::normal_distribution<double> noise;
  double t = 0.1;
  while (t * rate < n) {
    const std::size_t from = static_cast<std::size_t>(t * rate);
    const std::size_t length = static_cast<std::size_t>((0.12 + 0.2 * unit(random)) * rate);
    const double f0 = 100 + 120 * unit(random), glide = 0.7 + 0.6 * unit(random);
    const double formant = 400 + 1200 * unit(random), radius = std::exp(-std::numbers::pi * 120 / rate);
    const double c1 = 2 * radius * std::cos(2 * std::numbers::pi * formant / rate), c2 = -radius * radius;
    double phase = 0, y1 = 0, y2 = 0;
    const bool fricative = unit(random) < 0.4;
    for (std::size_t i = 0; i < length && from + i < n; ++i) {
      const double progress = static_cast<double>(i) / length;
      phase += f0 * (1 + (glide - 1) * progress) / rate;
      double excitation = 0;
      if (phase >= 1) phase -= 1, excitation = 1;
      const double y = excitation + c1 * y1 + c2 * y2;
      y2 = y1, y1 = y;
      const double hush = fricative && progress < 0.2 ? 0.5 * noise(random) : 0;
      s[from + i] = 0.1 * y * std::sin(std::numbers::pi * progress) + hush;
    }
    t += static_cast<double>(length) / rate + 0.05 + 0.35 * unit(random);
  }
  return s;
}

// One burst of noise repeated exactly every 0.75 s.
std::vector<double> pattern(std::size_t n, double rate, std::mt19937& random) {
  const std::vector<double> one = clicks(static_cast<std::size_t>(0.75 * rate), rate, random);
  std::vector<double> s(n);
  for (std::size_t i = 0; i < n; ++i)
    s[i] = one[i % one.size()];
  return s;
}

}  // namespace

Channels renderScene(const SceneSpec& recipe) {
  const double rate = recipe.rate;
  const std::size_t n = static_cast<std::size_t>(recipe.seconds * rate);
  std::mt19937 random(recipe.seed);
  std::vector<double> w(n, 0.0), x(n, 0.0), y(n, 0.0), z(n, 0.0);
  double power = 0;
  for (const SceneSource& source : recipe.sources) {
    const std::vector<double> s = source.kind == SourceKind::clicks  ? clicks(n, rate, random)
                                  : source.kind == SourceKind::voice ? voice(n, rate, random)
                                                                     : pattern(n, rate, random);
    for (double v : s)
      power += v * v / n;
    for (const Arrival& a : source.arrivals) {
      const double az = a.azimuth * std::numbers::pi / 180, el = a.elevation * std::numbers::pi / 180;
      const std::size_t d = static_cast<std::size_t>(std::lround(a.delay * rate));
      for (std::size_t i = d; i < n; ++i) {
        const double v = a.gain * s[i - d];
        w[i] += v * std::numbers::sqrt2 / 2;
        x[i] += v * std::cos(az) * std::cos(el);
        y[i] += v * std::sin(az) * std::cos(el);
        z[i] += v * std::sin(el);
      }
    }
  }
  // Diffuse: independent in every channel, X, Y and Z each two thirds of W's power.
  std::normal_distribution<double> noise;
  const double level = std::sqrt(std::max(power, 1e-4)) * std::pow(10, recipe.noiseDb / 20);
  Channels c{std::vector<float>(n), std::vector<float>(n), std::vector<float>(n), std::vector<float>(n)};
  for (std::size_t i = 0; i < n; ++i) {
    c.w[i] = static_cast<float>(w[i] + level * std::sqrt(0.5) * noise(random));
    c.x[i] = static_cast<float>(x[i] + level * std::sqrt(1.0 / 3) * noise(random));
    c.y[i] = static_cast<float>(y[i] + level * std::sqrt(1.0 / 3) * noise(random));
    c.z[i] = static_cast<float>(z[i] + level * std::sqrt(1.0 / 3) * noise(random));
  }
  return c;
}

std::vector<float> cut(const std::vector<float>& in, std::int64_t first, std::int64_t count, double ppm) {
  std::vector<float> out(static_cast<std::size_t>(count), 0.0f);
  for (std::int64_t i = 0; i < count; ++i) {
    const double at = static_cast<double>(first) + static_cast<double>(i) * (1 + ppm * 1e-6);
    const std::int64_t whole = static_cast<std::int64_t>(std::floor(at));
    const double part = at - static_cast<double>(whole);
    if (whole < 0 || whole + 1 >= static_cast<std::int64_t>(in.size())) continue;
    out[i] = static_cast<float>((1 - part) * in[whole] + part * in[whole + 1]);
  }
  return out;
}

}  // namespace quadrel::harness
