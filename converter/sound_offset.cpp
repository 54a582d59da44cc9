// The search, in three stages:
//   1. coarse: envelopes of the decimated signals correlated over every lag
//      (one transform), giving a few candidate lags;
//   2. medium: around each candidate, the sign-free window score at the
//      decimated rate (about 4 kHz), from which the refusal rule decides;
//   3. fine: the same score at the full rate around the winner, to the frame.
// A sound near the X axis (straight ahead or behind) hardly reaches Y and Z,
// so an echo of it from the side can match better at its own delay than the
// sound at the true lag: a best match whose X part is nearly its W part is
// refused, and near lags, where echoes sit, must stand further below the best.
#include "converter/sound_offset.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <optional>
#include <vector>

#include "converter/fft.h"

namespace quadrel {
namespace {

using Complex = std::complex<double>;

// The medium stage: windows of `window` decimated samples, `hop` apart, each
// correlated with `reach` samples of the other file beyond it on either side.
constexpr std::size_t window = 2048;
constexpr std::size_t hop = window / 2;
constexpr std::size_t reach = 1024;
constexpr std::size_t transformSize = window + 2 * reach;
constexpr double mostDecimatedRate = 4200;  // so that `echoReach` stays within `reach - hop / 2`
constexpr double echoReach = 0.12;          // seconds either side of a candidate
constexpr double mainLobe = 0.0015;         // seconds either side of the best lag: its own peak
constexpr std::size_t envelopeBlock = 16;   // decimated samples to one envelope value
constexpr std::size_t candidateCount = 8;
constexpr double shortestOverlap = 10;      // seconds both openings must share at a lag
constexpr std::size_t minimumWindows = 40;  // of a quarter second, hop apart: the same 10 s
constexpr std::size_t fineWindows = 16;
constexpr std::size_t fineReach = 60;  // windows either side of the strongest, 30 s at most
constexpr double emphasis = 0.9;       // pre-emphasis, which sharpens the correlation peaks
// The refusal rule: the best lag's excess over the typical score against
// the next best's, near and far, and against the scores' spread.
// Near, an echo from a direction with more Y and Z than the direct sound's
// can match better than the truth at its delay; its runner-up is then the
// truth, so near the rule is stricter.
constexpr double neededFar = 2.0;
constexpr double neededNear = 2.5;
constexpr double neededSpreads = 8.0;
// A best match whose X part is this share (squared) of its W part, times
// root 2, or more is refused: a sound within about 39 degrees of the X axis.
constexpr double impossibleX = 0.6;

std::vector<double> hann(std::size_t length) {
  std::vector<double> h(length);
  for (std::size_t i = 0; i < length; ++i) {
    h[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                static_cast<double>(length));
  }
  return h;
}

// Low-pass filtered, taken every `factor`-th sample, pre-emphasised.
std::vector<double> decimate(std::span<const float> in, std::size_t factor) {
  std::vector<double> out((in.size() + factor - 1) / factor);
  if (factor == 1) {
    std::copy(in.begin(), in.end(), out.begin());
  } else {
    const std::ptrdiff_t half = static_cast<std::ptrdiff_t>(4 * factor);
    const double cutoff = 0.4 / static_cast<double>(factor);  // cycles a sample
    std::vector<double> taps(2 * half + 1);
    for (std::ptrdiff_t j = -half; j <= half; ++j) {
      const double t = static_cast<double>(j);
      const double sinc =
          j == 0 ? 1 : std::sin(2 * std::numbers::pi * cutoff * t) / (2 * std::numbers::pi * cutoff * t);
      const double blackman = 0.42 + 0.5 * std::cos(std::numbers::pi * t / (half + 1)) +
                              0.08 * std::cos(2 * std::numbers::pi * t / (half + 1));
      taps[j + half] = 2 * cutoff * sinc * blackman;
    }
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(in.size());
    for (std::size_t m = 0; m < out.size(); ++m) {
      const std::ptrdiff_t centre = static_cast<std::ptrdiff_t>(m * factor);
      const std::ptrdiff_t from = std::max(-half, -centre);
      const std::ptrdiff_t to = std::min(half, n - 1 - centre);
      double sum = 0;
      for (std::ptrdiff_t j = from; j <= to; ++j)
        sum += taps[j + half] * in[centre + j];
      out[m] = sum;
    }
  }
  for (std::size_t m = out.size(); m-- > 1;)
    out[m] -= emphasis * out[m - 1];
  return out;
}

// The four decimated channels, W already times root 2.
struct Decimated {
  std::vector<double> w, x, y, z;
  std::size_t factor = 1;
  double rate = 0;
};

// A file's loudness in blocks, less its local mean over about a second.
std::vector<double> envelope(const std::vector<double>& a, const std::vector<double>& b, double blockRate) {
  std::vector<double> level(std::min(a.size(), b.size()) / envelopeBlock);
  for (std::size_t i = 0; i < level.size(); ++i) {
    double sa = 0, sb = 0;
    for (std::size_t j = i * envelopeBlock; j < (i + 1) * envelopeBlock; ++j) {
      sa += a[j] * a[j];
      sb += b[j] * b[j];
    }
    level[i] = std::sqrt(sa / envelopeBlock) + std::sqrt(sb / envelopeBlock);
  }
  const std::size_t half = static_cast<std::size_t>(blockRate / 2);
  std::vector<double> prefix(level.size() + 1, 0);
  for (std::size_t i = 0; i < level.size(); ++i)
    prefix[i + 1] = prefix[i] + level[i];
  std::vector<double> out(level.size());
  for (std::size_t i = 0; i < level.size(); ++i) {
    const std::size_t from = i > half ? i - half : 0, to = std::min(level.size(), i + half + 1);
    out[i] = level[i] - (prefix[to] - prefix[from]) / static_cast<double>(to - from);
  }
  return out;
}

// Candidate lags in decimated samples: the peaks of the envelopes'
// correlation, averaged over the overlap, each at least `echoReach` from
// those above it.
std::vector<std::int64_t> coarseCandidates(const Decimated& d, std::int64_t maxLag) {
  const double blockRate = d.rate / envelopeBlock;
  const std::vector<double> u = envelope(d.w, d.x, blockRate);
  const std::vector<double> v = envelope(d.y, d.z, blockRate);
  if (u.empty() || v.empty()) return {};
  const std::size_t size = fftSizeFor(u.size() + v.size());
  const Fft fft(size);
  std::vector<Complex> a(size), b(size);
  std::copy(u.begin(), u.end(), a.begin());
  std::copy(v.begin(), v.end(), b.begin());
  fft.forward(a);
  fft.forward(b);
  for (std::size_t i = 0; i < size; ++i)
    a[i] *= std::conj(b[i]);
  fft.inverse(a);
  const std::int64_t nu = static_cast<std::int64_t>(u.size()), nv = static_cast<std::int64_t>(v.size());
  const std::int64_t reachBlocks = maxLag / static_cast<std::int64_t>(envelopeBlock);
  const std::int64_t minOverlap =
      std::max<std::int64_t>(1, static_cast<std::int64_t>(shortestOverlap * blockRate));
  std::vector<std::pair<double, std::int64_t>> scored;
  for (std::int64_t lag = -reachBlocks; lag <= reachBlocks; ++lag) {
    const std::int64_t overlap = std::min(nu, nv + lag) - std::max<std::int64_t>(0, lag);
    if (overlap < minOverlap) continue;
    const double value =
        a[static_cast<std::size_t>((lag + static_cast<std::int64_t>(size)) % static_cast<std::int64_t>(size))]
            .real();
    scored.emplace_back(value / static_cast<double>(overlap), lag);
  }
  std::sort(scored.begin(), scored.end(), std::greater<>());
  const std::int64_t apart = static_cast<std::int64_t>(echoReach * blockRate);
  std::vector<std::int64_t> picked;
  for (const auto& [value, lag] : scored) {
    if (picked.size() == candidateCount) break;
    const std::int64_t at = lag * static_cast<std::int64_t>(envelopeBlock);
    const bool near = std::any_of(picked.begin(), picked.end(), [&](std::int64_t p) {
      return std::abs(p - at) <= apart * static_cast<std::int64_t>(envelopeBlock);
    });
    if (!near) picked.push_back(at);
  }
  return picked;
}

// The evidence for one lag, summed over windows: each window's 2x2 block of
// cross products of (root 2 W, X) with (Y, Z), over the two files' energies
// under the window, as the sums of squares of its rows and their product.
// The block of a plane wave from direction (ax, ay, az) is P [1; ax] [ay, az]:
// its second row is the first times ax, and ax squared is 1 less ay and az
// squared: the rows' ratio tells how near the X axis the matched sound came
// from. Summed over windows, a ringing source's
// stray correlations with its own echoes average out of the rows' ratio.
struct Evidence {
  double p = 0, q = 0, r = 0;

  void add(double wy, double wz, double xy, double xz, double energies) {
    if (energies <= 0) return;
    p += (wy * wy + wz * wz) / energies;
    q += (xy * xy + xz * xz) / energies;
    r += (wy * xy + wz * xz) / energies;
  }

  // The mean over `windows`.
  double score(std::size_t windows) const { return windows > 0 ? (p + q) / static_cast<double>(windows) : 0; }

  // The square of the X part's share: the second row's length over the
  // first's in the dominant part of the block, 1 where there is none.
  double xShare() const {
    const double top = (p + q) / 2 + std::sqrt((p - q) * (p - q) / 4 + r * r);
    return top - q > 0 ? (top - p) / (top - q) : 1;
  }
};

// Scores of the lags `centre - spread` .. `centre + spread` (decimated).
struct Landscape {
  std::int64_t centre = 0;
  std::int64_t spread = 0;
  std::vector<double> score;  // the mean over the windows used
  std::size_t windows = 0;
  double centreXShare = 1;  // Evidence::xShare at the centre
};

// The medium stage: each WX window's spectrum is taken once, each YZ
// stretch's (a window and `reach` either side) once, and a candidate pairs
// window k with the stretch a whole number of hops away.
class MediumStage {
 public:
  explicit MediumStage(const Decimated& d) : fft_(transformSize), hann_(hann(window)) {
    const std::size_t nu = std::min(d.w.size(), d.x.size()), nv = std::min(d.y.size(), d.z.size());
    for (std::size_t k = 0; k * hop + window <= nu; ++k) {
      std::vector<Complex> s(transformSize);
      double energy = 0;
      for (std::size_t t = 0; t < window; ++t) {
        const double h = hann_[t];
        s[t] = {h * d.w[k * hop + t], h * d.x[k * hop + t]};
        energy += h * (d.w[k * hop + t] * d.w[k * hop + t] + d.x[k * hop + t] * d.x[k * hop + t]);
      }
      fft_.forward(s);
      wx_.push_back(std::move(s));
      wxEnergy_.push_back(energy);
    }
    // The window's weights as a spectrum, for the YZ energy under the window at every lag.
    std::vector<Complex> taper(transformSize);
    std::copy(hann_.begin(), hann_.end(), taper.begin());
    fft_.forward(taper);
    for (std::size_t j = 0; j * hop + window + reach <= nv; ++j) {
      std::vector<Complex> s(transformSize), e(transformSize);
      std::vector<double> energy;
      if (j * hop >= reach) {
        for (std::size_t t = 0; t < transformSize; ++t) {
          const double y = d.y[j * hop - reach + t], z = d.z[j * hop - reach + t];
          s[t] = {y, z};
          e[t] = y * y + z * z;
        }
        fft_.forward(s);
        fft_.forward(e);
        for (std::size_t i = 0; i < transformSize; ++i)
          e[i] = product(std::conj(taper[i]), e[i]);
        fft_.inverse(e);
        for (std::size_t m = 0; m <= 2 * reach; ++m)
          energy.push_back(e[m].real());
      } else {
        s.clear();  // the stretch would start before the file
      }
      yz_.push_back(std::move(s));
      yzEnergy_.push_back(std::move(energy));
    }
  }

  std::size_t windowCount() const { return wx_.size(); }

  // The landscape around `centre`, and, where `perWindow` is given, each
  // window's score at `centre` (negative where unused).
  Landscape around(std::int64_t centre, std::int64_t spread, std::vector<double>* perWindow = nullptr,
                   std::size_t firstWindow = 0, std::size_t lastWindow = SIZE_MAX) const {
    Landscape result{centre, spread, {}, 0};
    std::vector<Evidence> evidence(2 * spread + 1);
    const std::int64_t h = static_cast<std::int64_t>(hop);
    const std::int64_t hops = (centre >= 0 ? centre + h / 2 : centre - h / 2 + 1) / h;
    const std::int64_t residual = centre - hops * h;
    if (perWindow) perWindow->assign(wx_.size(), -1);
    std::vector<Complex> a(transformSize), b(transformSize);
    const std::size_t n = transformSize;
    for (std::size_t k = firstWindow; k < wx_.size() && k <= lastWindow; ++k) {
      const std::int64_t j = static_cast<std::int64_t>(k) - hops;
      if (j < 0 || j >= static_cast<std::int64_t>(yz_.size()) || yz_[j].empty()) continue;
      const std::vector<Complex>& f = wx_[k];
      const std::vector<Complex>& g = yz_[j];
      if (wxEnergy_[k] <= 0) continue;
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t m = (n - i) % n;
        const Complex fw = (f[i] + std::conj(f[m])) * 0.5;
        const Complex fx = (f[i] - std::conj(f[m])) * Complex(0, -0.5);
        const Complex gy = (g[i] + std::conj(g[m])) * 0.5;
        const Complex gz = (g[i] - std::conj(g[m])) * Complex(0, -0.5);
        const Complex cw = std::conj(fw), cx = std::conj(fx);
        a[i] = product(cw, gy) + Complex(0, 1) * product(cw, gz);
        b[i] = product(cx, gy) + Complex(0, 1) * product(cx, gz);
      }
      fft_.inverse(a);
      fft_.inverse(b);
      for (std::int64_t delta = -spread; delta <= spread; ++delta) {
        // Lag r within the stretch sits at index reach - r.
        const std::size_t at = static_cast<std::size_t>(static_cast<std::int64_t>(reach) - residual - delta);
        const double energies = wxEnergy_[k] * yzEnergy_[j][at];
        evidence[delta + spread].add(a[at].real(), a[at].imag(), b[at].real(), b[at].imag(), energies);
        if (delta == 0 && perWindow) {
          Evidence one;
          one.add(a[at].real(), a[at].imag(), b[at].real(), b[at].imag(), energies);
          (*perWindow)[k] = one.p + one.q;
        }
      }
      ++result.windows;
    }
    for (const Evidence& e : evidence)
      result.score.push_back(e.score(result.windows));
    result.centreXShare = evidence[spread].xShare();
    return result;
  }

 private:
  static Complex product(Complex a, Complex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
  }

  Fft fft_;
  std::vector<std::vector<Complex>> wx_, yz_;
  std::vector<double> wxEnergy_;
  std::vector<std::vector<double>> yzEnergy_;  // per stretch, under the window at each lag
  std::vector<double> hann_;
};

// The full-rate lag nearest the best match within `spread` frames of
// `centre`, from the windows listed; nothing when the best sits at the edge
// of the range (the peak lies outside it).
std::optional<std::int64_t> fineLag(const SoundOpenings& o, std::int64_t centre, std::int64_t spread,
                                    const std::vector<std::size_t>& windows, std::size_t factor) {
  const std::size_t length = window * factor;
  const std::int64_t nu = static_cast<std::int64_t>(std::min(o.w.size(), o.x.size()));
  const std::int64_t nv = static_cast<std::int64_t>(std::min(o.y.size(), o.z.size()));
  auto emphasised = [](std::span<const float> s, std::int64_t i) {
    return i > 0 ? s[i] - emphasis * s[i - 1] : static_cast<double>(s[i]);
  };
  std::vector<Evidence> evidence(2 * spread + 1);
  const std::vector<double> taper = hann(length);
  std::vector<double> u0(length), u1(length), v0, v1;
  for (std::size_t k : windows) {
    const std::int64_t start = static_cast<std::int64_t>(k * hop * factor);
    const std::int64_t from = start - centre - spread;
    if (start + static_cast<std::int64_t>(length) > nu || from < 0 ||
        from + static_cast<std::int64_t>(length) + 2 * spread > nv) {
      continue;
    }
    double wxEnergy = 0;
    for (std::size_t t = 0; t < length; ++t) {
      const double h = taper[t];
      u0[t] = h * std::numbers::sqrt2 * emphasised(o.w, start + t);
      u1[t] = h * emphasised(o.x, start + t);
      wxEnergy += (u0[t] * u0[t] + u1[t] * u1[t]) / h;
    }
    const std::size_t stretch = length + 2 * spread;
    v0.resize(stretch);
    v1.resize(stretch);
    for (std::size_t t = 0; t < stretch; ++t) {
      v0[t] = emphasised(o.y, from + t);
      v1[t] = emphasised(o.z, from + t);
    }
    for (std::int64_t delta = -spread; delta <= spread; ++delta) {
      // Lag centre + delta: YZ index = WX index - lag, so stretch index t + spread - delta.
      const std::size_t shift = static_cast<std::size_t>(spread - delta);
      double wy = 0, wz = 0, xy = 0, xz = 0, yzEnergy = 0;
      for (std::size_t t = 0; t < length; ++t) {
        const double y = v0[t + shift], z = v1[t + shift];
        wy += u0[t] * y;
        wz += u0[t] * z;
        xy += u1[t] * y;
        xz += u1[t] * z;
        yzEnergy += taper[t] * (y * y + z * z);
      }
      evidence[delta + spread].add(wy, wz, xy, xz, wxEnergy * yzEnergy);
    }
  }
  std::vector<double> total;
  for (const Evidence& e : evidence)
    total.push_back(e.score(1));
  const std::size_t best =
      static_cast<std::size_t>(std::max_element(total.begin(), total.end()) - total.begin());
  if (total[best] <= 0 || best == 0 || best + 1 == total.size()) return std::nullopt;
  return centre - spread + static_cast<std::int64_t>(best);
}

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2),
                   values.end());
  return values[values.size() / 2];
}

}  // namespace

std::variant<SoundMatch, SoundRefusal> findSoundOffset(const SoundOpenings& openings,
                                                       std::int64_t maxOffset) {
  if (openings.rate == 0) return SoundRefusal::silence;
  Decimated d;
  d.factor = static_cast<std::size_t>(std::ceil(openings.rate / mostDecimatedRate));
  d.rate = static_cast<double>(openings.rate) / static_cast<double>(d.factor);
  d.w = decimate(openings.w, d.factor);
  for (double& s : d.w)
    s *= std::numbers::sqrt2;
  d.x = decimate(openings.x, d.factor);
  d.y = decimate(openings.y, d.factor);
  d.z = decimate(openings.z, d.factor);

  const std::int64_t maxLag = maxOffset / static_cast<std::int64_t>(d.factor);
  const std::vector<std::int64_t> candidates = coarseCandidates(d, maxLag);
  const MediumStage medium(d);
  const std::int64_t spread = static_cast<std::int64_t>(std::ceil(echoReach * d.rate));
  std::vector<Landscape> landscapes;
  for (std::int64_t c : candidates) {
    Landscape l = medium.around(c, spread);
    if (l.windows >= minimumWindows) landscapes.push_back(std::move(l));
  }
  if (landscapes.empty()) return SoundRefusal::silence;

  // The typical score and its spread, from every lag scored.
  std::vector<double> all;
  for (const Landscape& l : landscapes)
    all.insert(all.end(), l.score.begin(), l.score.end());
  const double typical = median(all);
  for (double& s : all)
    s = std::abs(s - typical);
  const double spreadOfScores = 1.4826 * median(all);  // a normal spread's, from the median deviation

  std::size_t bestL = 0, bestI = 0;
  for (std::size_t l = 0; l < landscapes.size(); ++l) {
    for (std::size_t i = 0; i < landscapes[l].score.size(); ++i) {
      if (landscapes[l].score[i] > landscapes[bestL].score[bestI]) bestL = l, bestI = i;
    }
  }
  const Landscape& best = landscapes[bestL];
  const double excess = best.score[bestI] - typical;
  const std::int64_t bestLag = best.centre - best.spread + static_cast<std::int64_t>(bestI);
  if (!(excess > 0) || excess < neededSpreads * spreadOfScores) return SoundRefusal::noMatch;

  // Far from the best lag, over the whole openings: a repeating sound.
  double farNext = typical;
  for (const Landscape& l : landscapes) {
    for (std::size_t i = 0; i < l.score.size(); ++i) {
      const std::int64_t lag = l.centre - l.spread + static_cast<std::int64_t>(i);
      if (std::abs(lag - bestLag) > spread) farNext = std::max(farNext, l.score[i]);
    }
  }
  const double farRatio = excess / std::max(farNext - typical, excess * 1e-6);

  // Near it, and to the frame, only windows close in time to the one that
  // matches best, so that a clock that drifts spreads the peak no wider than
  // its own ringing: squared, a correlation that rings at the sound's
  // dominant frequency peaks again every half period nearby.
  std::vector<double> perWindow;
  const double xShare = medium.around(bestLag, 0, &perWindow).centreXShare;
  const std::size_t strongest =
      static_cast<std::size_t>(std::max_element(perWindow.begin(), perWindow.end()) - perWindow.begin());
  const std::size_t from = strongest > fineReach ? strongest - fineReach : 0, to = strongest + fineReach;
  const Landscape local = medium.around(bestLag, spread, nullptr, from, to);
  const std::size_t localI = static_cast<std::size_t>(
      std::max_element(local.score.begin(), local.score.end()) - local.score.begin());
  const std::int64_t localBest = bestLag - spread + static_cast<std::int64_t>(localI);
  const std::int64_t lobe = static_cast<std::int64_t>(std::ceil(mainLobe * d.rate));
  const double localTypical = median(local.score);
  double nearNext = localTypical;
  for (std::size_t i = 0; i < local.score.size(); ++i) {
    if (std::abs(static_cast<std::int64_t>(i) - static_cast<std::int64_t>(localI)) > lobe) {
      nearNext = std::max(nearNext, local.score[i]);
    }
  }
  const double localExcess = local.score[localI] - localTypical;
  const double nearRatio = localExcess / std::max(nearNext - localTypical, localExcess * 1e-6);
  if (farRatio < neededFar && nearRatio < neededNear) return SoundRefusal::noMatch;
  if (farRatio < neededFar) return SoundRefusal::repeats;
  if (nearRatio < neededNear || std::abs(localBest - bestLag) > lobe || xShare > impossibleX) {
    return SoundRefusal::echo;
  }

  std::vector<std::size_t> order;
  for (std::size_t k = from; k < perWindow.size() && k <= to; ++k) {
    if (perWindow[k] > 0) order.push_back(k);
  }
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return perWindow[a] > perWindow[b]; });
  if (order.size() > fineWindows) order.resize(fineWindows);
  const std::int64_t factor = static_cast<std::int64_t>(d.factor);
  const std::optional<std::int64_t> lag =
      fineLag(openings, localBest * factor, 3 * factor + 2, order, d.factor);
  if (!lag || std::abs(*lag) > maxOffset) return SoundRefusal::echo;
  const auto at = static_cast<std::int64_t>((strongest * hop + window / 2) * d.factor);
  return SoundMatch{*lag, std::min(farRatio, nearRatio), at};
}

Drift driftBetween(std::int64_t startOffset, std::int64_t endOffset, std::int64_t span) {
  Drift drift;
  drift.frames = endOffset - startOffset;
  if (span > 0) drift.ppm = static_cast<double>(drift.frames) * 1e6 / static_cast<double>(span);
  return drift;
}

}  // namespace quadrel
