// IEEE single precision to and from IBM hexadecimal and VAX F_floating.
//
// Every conversion works on integers only: a value is taken apart into a
// sign, an integer significand m and a power of two, and put together again
// in the other layout, so no bit pattern ever passes through a floating-point
// register.
#include "services/units/real_formats.h"

namespace quadrel {
namespace {

constexpr std::uint32_t signBit = 0x80000000u;
constexpr std::uint32_t ieeeFractionMask = 0x007FFFFFu;
constexpr std::uint32_t hiddenBit = 0x00800000u;
constexpr std::uint32_t ieeeInfinity = 0x7F800000u;
constexpr std::uint32_t ieeeQuietNan = 0x7FC00000u;
constexpr std::uint32_t largestMagnitude = 0x7FFFFFFFu;  // IBM and VAX alike

// m shifted right by `shift` (0 to 31), rounded to nearest, ties to even.
std::uint32_t shiftRightRounded(std::uint32_t m, int shift) {
  if (shift <= 0) return m;
  const std::uint32_t kept = m >> shift;
  const std::uint32_t lost = m & ((1u << shift) - 1);
  const std::uint32_t half = 1u << (shift - 1);
  return lost > half || (lost == half && (kept & 1u)) ? kept + 1 : kept;
}

int topBit(std::uint32_t m) {
  int bit = 31;
  while (!(m >> bit))
    --bit;
  return bit;
}

// A finite non-zero IEEE value as m * 2^exponent with m in [2^23, 2^24).
struct Significand {
  std::uint32_t m;
  int exponent;
};

Significand ieeeSignificand(std::uint32_t ieee) {
  const int biased = static_cast<int>((ieee >> 23) & 0xFF);
  std::uint32_t m = ieee & ieeeFractionMask;
  int exponent = -149;
  if (biased != 0) {
    m |= hiddenBit;
    exponent = biased - 150;
  }
  while (m < hiddenBit) {
    m <<= 1;
    --exponent;
  }
  return {m, exponent};
}

bool isIeeeZero(std::uint32_t ieee) { return (ieee & ~signBit) == 0; }
bool isIeeeSpecial(std::uint32_t ieee) { return (ieee & ieeeInfinity) == ieeeInfinity; }

}  // namespace

RealConversion ieeeToIbm(std::uint32_t ieee) {
  const std::uint32_t sign = ieee & signBit;
  if (isIeeeSpecial(ieee)) return {sign | largestMagnitude, false};
  if (isIeeeZero(ieee)) return {sign, true};

  // value = (m / 2^24) * 2^t, to be written as (F / 2^24) * 16^q.
  const Significand s = ieeeSignificand(ieee);
  const int t = s.exponent + 24;
  const int q = t >= 0 ? (t + 3) / 4 : -((-t) / 4);
  // m has 24 bits and loses 0 to 3 of them, so rounding up never carries
  // out of the 24-bit fraction and the leading hexadecimal digit is never 0.
  const std::uint32_t fraction = shiftRightRounded(s.m, 4 * q - t);
  return {sign | static_cast<std::uint32_t>(q + 64) << 24 | fraction, true};
}

RealConversion ibmToIeee(std::uint32_t ibm) {
  const std::uint32_t sign = ibm & signBit;
  const std::uint32_t fraction = ibm & 0xFFFFFFu;
  if (fraction == 0) return {sign, true};

  // value = fraction * 2^scale = 1.x * 2^(top + scale)
  const int scale = 4 * (static_cast<int>((ibm >> 24) & 0x7F) - 64) - 24;
  const int top = topBit(fraction);
  const int exponent = top + scale;
  if (exponent > 127) return {sign | ieeeInfinity, false};
  if (exponent >= -126) {
    const std::uint32_t m = fraction << (23 - top);
    return {sign | static_cast<std::uint32_t>(exponent + 127) << 23 | (m & ieeeFractionMask), true};
  }
  // Subnormal: the fraction field counts units of 2^-149.
  const int shift = -(scale + 149);
  std::uint32_t m = 0;
  if (shift <= 0) {
    m = fraction << -shift;
  } else if (shift < 32) {
    m = shiftRightRounded(fraction, shift);
  }
  return {sign | m, m != 0};
}

RealConversion ieeeToVax(std::uint32_t ieee) {
  const std::uint32_t sign = ieee & signBit;
  if (isIeeeSpecial(ieee)) {
    const bool nan = (ieee & ieeeFractionMask) != 0;
    return {nan ? 0u : sign | largestMagnitude, false};
  }
  if (isIeeeZero(ieee)) return {0, true};

  const Significand s = ieeeSignificand(ieee);
  const int exponent = s.exponent + 23 + 129;
  if (exponent > 255) return {sign | largestMagnitude, false};
  if (exponent < 1) return {0, false};
  return {sign | static_cast<std::uint32_t>(exponent) << 23 | (s.m & ieeeFractionMask), true};
}

RealConversion vaxToIeee(std::uint32_t vax) {
  const std::uint32_t sign = vax & signBit;
  const int exponent = static_cast<int>((vax >> 23) & 0xFF);
  if (exponent == 0) return sign ? RealConversion{sign | ieeeQuietNan, false} : RealConversion{0, true};

  const std::uint32_t fraction = vax & ieeeFractionMask;
  const int unbiased = exponent - 129;
  if (unbiased >= -126) return {sign | static_cast<std::uint32_t>(unbiased + 127) << 23 | fraction, true};
  // 2^-128 and 2^-127 binades: subnormal; rounding up may reach 2^-126,
  // which the same encoding then reads as the smallest normal.
  return {sign | shiftRightRounded(hiddenBit | fraction, -126 - unbiased), true};
}

}  // namespace quadrel
