// Converting frames to AmbiX.
#include "converter/ambix_frames.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

// The square root of 2 as the double nearest to it, and the rest.
constexpr double sqrt2High = 1.4142135623730951;
constexpr double sqrt2Low = -9.667293313452913e-17;

// Each decoder gives a sample as the output's floating type: exact, and
// the W channel rounded once.

// Integers of up to 24 bits, which a float holds exactly; `integer` reads one.
template <std::size_t width, int (*integer)(const std::byte*)>
struct SmallInteger {
  static constexpr std::size_t bytes = width;
  using Out = float;
  static constexpr double scale = 1.0 / static_cast<double>(1u << (8 * width - 1));
  static float plain(const std::byte* at) { return static_cast<float>(integer(at) * scale); }
  static float raised(const std::byte* at) { return static_cast<float>(integer(at) * (sqrt2High * scale)); }
};

int unsigned8(const std::byte* at) { return std::to_integer<int>(*at) - 128; }
int signed16(const std::byte* at) { return static_cast<std::int16_t>(loadLe<std::uint16_t>(at)); }
int signed24(const std::byte* at) {
  const std::uint32_t bits = std::to_integer<std::uint32_t>(at[0]) << 8 |
                             std::to_integer<std::uint32_t>(at[1]) << 16 |
                             std::to_integer<std::uint32_t>(at[2]) << 24;
  return static_cast<std::int32_t>(bits) >> 8;
}

using Unsigned8 = SmallInteger<1, unsigned8>;
using Signed16 = SmallInteger<2, signed16>;
using Signed24 = SmallInteger<3, signed24>;

struct Signed32 {
  static constexpr std::size_t bytes = 4;
  using Out = double;
  static double plain(const std::byte* at) {
    return static_cast<std::int32_t>(loadLe<std::uint32_t>(at)) * 0x1p-31;
  }
  static double raised(const std::byte* at) { return timesSqrt2(plain(at)); }
};

// Floating-point samples keep their bits, but W.
struct Float32 {
  static constexpr std::size_t bytes = 4;
  using Out = float;
  static float plain(const std::byte* at) { return std::bit_cast<float>(loadLe<std::uint32_t>(at)); }
  static float raised(const std::byte* at) { return static_cast<float>(plain(at) * sqrt2High); }
};

struct Float64 {
  static constexpr std::size_t bytes = 8;
  using Out = double;
  static double plain(const std::byte* at) { return std::bit_cast<double>(loadLe<std::uint64_t>(at)); }
  static double raised(const std::byte* at) { return timesSqrt2(plain(at)); }
};

// 24-bit halves, the hot case: each input's half is read as one 8-byte word
// (the two bytes beyond it belong to the next frame), so every frame but
// the last takes two loads instead of twelve.
void makeAmbix24(std::byte* out, const std::byte* wx, const std::byte* yz, std::size_t frames);

template <typename Sample>
void makeAmbix(std::byte* out, const std::byte* wx, const std::byte* yz, std::size_t frames) {
  using Out = typename Sample::Out;
  using Bits = std::conditional_t<sizeof(Out) == 4, std::uint32_t, std::uint64_t>;
  constexpr std::size_t in = Sample::bytes;
  constexpr std::size_t size = sizeof(Out);
  for (std::size_t i = 0; i < frames; ++i) {
    const std::byte* w = wx + 2 * in * i;
    const std::byte* y = yz + 2 * in * i;
    std::byte* frame = out + 4 * size * i;
    storeLe(frame, std::bit_cast<Bits>(Sample::raised(w)));
    storeLe(frame + size, std::bit_cast<Bits>(Sample::plain(y)));
    storeLe(frame + 2 * size, std::bit_cast<Bits>(Sample::plain(y + in)));
    storeLe(frame + 3 * size, std::bit_cast<Bits>(Sample::plain(w + in)));
  }
}

// The two 24-bit samples in the low 6 bytes of `half`, sign-extended.
inline std::int32_t firstOf(std::uint64_t half) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(half) << 8) >> 8;
}
inline std::int32_t secondOf(std::uint64_t half) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(half >> 16) & 0xFFFFFF00u) >> 8;
}

void makeAmbix24(std::byte* out, const std::byte* wx, const std::byte* yz, std::size_t frames) {
  constexpr double raise = sqrt2High * Signed24::scale;
  std::size_t i = 0;
  for (; i + 1 < frames; ++i) {
    const auto w = loadLe<std::uint64_t>(wx + 6 * i);
    const auto y = loadLe<std::uint64_t>(yz + 6 * i);
    std::byte* frame = out + 16 * i;
    storeLe(frame, std::bit_cast<std::uint32_t>(static_cast<float>(firstOf(w) * raise)));
    storeLe(frame + 4, std::bit_cast<std::uint32_t>(static_cast<float>(firstOf(y)) * 0x1p-23f));
    storeLe(frame + 8, std::bit_cast<std::uint32_t>(static_cast<float>(secondOf(y)) * 0x1p-23f));
    storeLe(frame + 12, std::bit_cast<std::uint32_t>(static_cast<float>(secondOf(w)) * 0x1p-23f));
  }
  if (i < frames) makeAmbix<Signed24>(out + 16 * i, wx + 6 * i, yz + 6 * i, frames - i);
}

// What the rounding of value times the root leaves out.
struct Product {
  double high, low;
};

// The product and its rounding error, exactly, by splitting both factors in
// halves of 26 bits (Dekker); the error and the low part of the root
// together make `low`. Exact only for magnitudes in (2^-900, 2^900), where
// the splitting neither overflows nor loses bits.
Product productParts(double value) {
  constexpr double splitter = 134217729.0;  // 2^27 + 1
  const double product = value * sqrt2High;
  const double scaled = splitter * value;
  const double high = scaled - (scaled - value);
  const double low = value - high;
  constexpr double rootHigh = splitter * sqrt2High - (splitter * sqrt2High - sqrt2High);
  constexpr double rootLow = sqrt2High - rootHigh;
  const double error = ((high * rootHigh - product) + high * rootLow + low * rootHigh) + low * rootLow;
  return {product, error + value * sqrt2Low};
}

// Magnitudes of at most 2^-900 are raised by 2^600 for the product; where
// it is a subnormal once lowered again, it is rounded on the subnormals'
// grid, raised alike, so that lowering it is exact and the rounding stays
// one.
double tinyTimesSqrt2(double value) {
  constexpr double normalFloor = 0x1p-422;  // the smallest normal, raised
  constexpr double step = 0x1p-474;         // the smallest subnormal, raised
  const Product product = productParts(value * 0x1p600);
  const double magnitude = std::fabs(product.high);
  if (magnitude > normalFloor) return (product.high + product.low) * 0x1p-600;
  const double rest = std::signbit(product.high) ? -product.low : product.low;
  // Above the floor the doubles lie `step` apart: the sum rounds to the grid.
  double rounded = (magnitude + normalFloor) - normalFloor;
  // What the product left out may carry it past the midpoint to a neighbour.
  const double beyond = (magnitude - rounded) + rest;
  if (beyond > step / 2) rounded += step;
  if (beyond < -step / 2) rounded -= step;
  return std::copysign(rounded * 0x1p-600, value);
}

}  // namespace

// Magnitudes of 2^900 and more are lowered by 2^600 and raised again,
// exactly up to the largest double; beyond it the product overflows to
// infinity as rounding to nearest must. Zero, infinities and NaN are
// multiplied plainly.
double timesSqrt2(double value) {
  const double magnitude = std::fabs(value);
  if (magnitude > 0x1p-900 && magnitude < 0x1p900) {
    const Product product = productParts(value);
    return product.high + product.low;
  }
  if (!(magnitude > 0 && magnitude <= std::numeric_limits<double>::max())) return value * sqrt2High;
  if (magnitude < 0x1p900) return tinyTimesSqrt2(value);
  const Product product = productParts(value * 0x1p-600);
  return (product.high + product.low) * 0x1p600;
}

std::optional<AmbixFrames> ambixFramesOf(const FormatFields& format) {
  const std::size_t bytes = format.channels == 0 ? 0 : format.blockAlign / format.channels;
  if (format.kind == SampleKind::pcm) {
    switch (bytes) {
      case 1:
        return AmbixFrames{makeAmbix<Unsigned8>, 4};
      case 2:
        return AmbixFrames{makeAmbix<Signed16>, 4};
      case 3:
        return AmbixFrames{makeAmbix24, 4};
      case 4:
        return AmbixFrames{makeAmbix<Signed32>, 8};
    }
  } else if (format.kind == SampleKind::ieeeFloat) {
    if (bytes == 4) return AmbixFrames{makeAmbix<Float32>, 4};
    if (bytes == 8) return AmbixFrames{makeAmbix<Float64>, 8};
  }
  return std::nullopt;
}

// 32-bit samples travel as 4-byte reals, which byte-order settings reach;
// 64-bit ones as characters, which they leave as they are.
void planAmbixOutput(const FormatFields& wx, FrameShape& shape, OutputFormat& format) {
  const AmbixFrames ambix = *ambixFramesOf(wx);
  shape.make = ambix.make;
  const HalfItem sample =
      ambix.sampleBytes == 4 ? HalfItem{ItemKind::real4, 4} : HalfItem{ItemKind::characters, 8};
  shape.output = {{sample, sample, sample, sample}, 4};
  format.formatTag = 3;
  format.blockAlign = static_cast<std::uint16_t>(4 * ambix.sampleBytes);
  format.bitsPerSample = format.validBits = static_cast<std::uint16_t>(8 * ambix.sampleBytes);
  format.ambisonic = false;
  format.extensibleAlways = true;
}

}  // namespace quadrel
