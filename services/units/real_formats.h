// Conversions of single-precision reals between IEEE and two older
// representations, on 32-bit patterns.
//
// IBM System/360 hexadecimal: sign bit 31, exponent bits 30-24 (base 16,
// excess 64), fraction bits 23-0 with the point before it. VAX F_floating,
// as a logical 32-bit number: sign bit 31, exponent bits 30-23 (excess 128),
// fraction bits 22-0 after a hidden leading 0.1; exponent 0 with sign 0 is
// zero, with sign 1 a reserved operand. How the patterns lie in a file is
// left to the callers.
//
// Rounding is to nearest, ties to even, wherever bits are lost. A value that
// cannot be represented is not exact: the result is then the nearest
// stand-in named below, and `represented` is false.
#pragma once

#include <cstdint>

namespace quadrel {

struct RealConversion {
  std::uint32_t bits;
  bool represented;
};

// Infinity and NaN have no IBM form: the largest magnitude with the sign.
// Every other IEEE value fits; up to three low bits may be rounded away.
RealConversion ieeeToIbm(std::uint32_t ieee);

// Exact in the IEEE normal range. Beyond the largest IEEE magnitude: an
// infinity. Below the smallest IEEE magnitude: a zero. In the subnormal
// range the value is rounded and counts as represented.
RealConversion ibmToIeee(std::uint32_t ibm);

// Exact where VAX F has the value. Infinity and magnitudes of 2^127 or more:
// the largest VAX magnitude with the sign. NaN: zero. Non-zero magnitudes
// below 2^-128: zero. Both zeros become the one VAX zero.
RealConversion ieeeToVax(std::uint32_t ieee);

// Exact except for the two smallest binades, which become IEEE subnormals
// (rounded, still represented). The reserved operand: a quiet NaN.
RealConversion vaxToIeee(std::uint32_t vax);

}  // namespace quadrel
