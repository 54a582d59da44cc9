// Fuzz target: the FORT_CONVERTn values and the item conversions.
//
// The first 4 bytes are a 32-bit pattern, the rest a FORT_CONVERTn value.
// The value must be recognised the same in any case. Every known setting
// must bring integers and characters back unchanged through a write and a
// read. For reals the pattern is taken as IEEE, IBM and VAX in turn and
// judged by its exact value, computed here in double precision, which holds
// every single-precision value of all three exactly:
//   - IEEE -> IBM and IEEE -> VAX round to nearest, and where the value is
//     representable, IEEE -> IBM/VAX -> IEEE gives the same pattern back;
//   - IBM -> IEEE and VAX -> IEEE are exact wherever IEEE holds the value.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "services/units/byte_order.h"
#include "services/units/real_formats.h"

namespace {

using namespace quadrel;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::uint32_t signBit = 0x80000000u;

float ieeeValue(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

bool isFiniteIeee(std::uint32_t bits) { return (bits & 0x7F800000u) != 0x7F800000u; }

// IBM hexadecimal single: 0.F (24 bits) times 16^(exponent - 64).
double ibmValue(std::uint32_t bits) {
  const double magnitude = std::ldexp(static_cast<double>(bits & 0xFFFFFFu),
                                      4 * (static_cast<int>((bits >> 24) & 0x7F) - 64) - 24);
  return bits & signBit ? -magnitude : magnitude;
}

// VAX F: 0.1F (hidden bit, 23 bits) times 2^(exponent - 128); exponent 0 is
// zero (sign 0) or the reserved operand (sign 1, no value).
std::optional<double> vaxValue(std::uint32_t bits) {
  const int exponent = static_cast<int>((bits >> 23) & 0xFF);
  if (exponent == 0) return bits & signBit ? std::nullopt : std::optional<double>(0.0);
  const double magnitude =
      std::ldexp(static_cast<double>((bits & 0x7FFFFFu) | 0x800000u), exponent - 128 - 24);
  return bits & signBit ? -magnitude : magnitude;
}

// Whether a double holds a value that single-precision IEEE holds exactly.
bool fitsIeee(double value) {
  return std::fabs(value) <= 0x1.fffffep127 && static_cast<double>(static_cast<float>(value)) == value;
}

// The spacing of IBM fractions at the exponent an IEEE value converts to.
double ibmUnit(double magnitude) {
  int exponent = 0;
  std::frexp(magnitude, &exponent);  // magnitude in [2^(e-1), 2^e)
  const int hexExponent = exponent >= 0 ? (exponent + 3) / 4 : -((-exponent) / 4);
  return std::ldexp(1.0, 4 * hexExponent - 24);
}

void requireIbm(std::uint32_t ieee) {
  const RealConversion toIbm = ieeeToIbm(ieee);
  if (!isFiniteIeee(ieee)) {
    require(!toIbm.represented && (toIbm.bits & ~signBit) == 0x7FFFFFFFu);
    return;
  }
  require(toIbm.represented);
  const double exact = ieeeValue(ieee);
  const double converted = ibmValue(toIbm.bits);
  require(std::signbit(converted) == std::signbit(exact) || exact == 0);
  if (exact != 0) require(std::fabs(converted - exact) <= ibmUnit(std::fabs(exact)) / 2);
  if (converted == exact) {
    const RealConversion back = ibmToIeee(toIbm.bits);
    require(back.represented && back.bits == ieee);
  }
}

void requireVax(std::uint32_t ieee) {
  const RealConversion toVax = ieeeToVax(ieee);
  if (!isFiniteIeee(ieee)) {
    require(!toVax.represented);
    return;
  }
  const double exact = ieeeValue(ieee);
  const std::optional<double> converted = vaxValue(toVax.bits);
  require(converted.has_value());
  if (toVax.represented) require(*converted == exact);
  if (*converted == exact && exact != 0) {
    const RealConversion back = vaxToIeee(toVax.bits);
    require(back.represented && back.bits == ieee);
  }
}

void requireExactToIeee(RealConversion conversion, std::optional<double> exact) {
  if (!exact || !fitsIeee(*exact)) return;
  require(conversion.represented);
  require(static_cast<double>(ieeeValue(conversion.bits)) == *exact);
}

// Whether a real keeps its exact value in the file's representation.
bool keepsValue(const ByteOrderSettings& settings, std::uint32_t ieee) {
  if (!isFiniteIeee(ieee)) return false;
  const double exact = ieeeValue(ieee);
  switch (settings.realFormat) {
    case RealFormat::ibm:
      return ibmValue(ieeeToIbm(ieee).bits) == exact;
    case RealFormat::vax:
      return exact != 0 && vaxValue(ieeeToVax(ieee).bits) == exact;
    case RealFormat::ieee:
      break;
  }
  return true;
}

// A write of an item and a read of it with the same settings give the item
// back, a real wherever the file's representation holds its value.
void requireRoundTrip(const ByteOrderSettings& settings, ItemKind kind, const std::byte* image) {
  std::byte copy[4];
  std::memcpy(copy, image, 4);
  const bool written = memoryToFile(settings, kind, copy);
  const bool read = fileToMemory(settings, kind, copy);
  std::uint32_t bits;
  std::memcpy(&bits, image, 4);
  if (kind != ItemKind::real4 || settings.realFormat == RealFormat::ieee || keepsValue(settings, bits)) {
    require(written && read && std::memcmp(copy, image, itemLength(kind)) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t bits;
  std::memcpy(&bits, data, 4);
  const std::string_view value(reinterpret_cast<const char*>(data) + 4, size - 4);

  std::string upper(value), lower(value);
  for (char& byte : upper)
    byte = static_cast<char>(std::toupper(static_cast<unsigned char>(byte)));
  for (char& byte : lower)
    byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
  const std::optional<ByteOrderSettings> settings = parseByteOrder(value);
  require(settings.has_value() == parseByteOrder(upper).has_value());
  require(settings.has_value() == parseByteOrder(lower).has_value());

  requireIbm(bits);
  requireVax(bits);
  requireExactToIeee(ibmToIeee(bits), ibmValue(bits));
  requireExactToIeee(vaxToIeee(bits), vaxValue(bits));

  const auto* image = reinterpret_cast<const std::byte*>(data);
  for (std::string_view known : {"NATIVE", "BIG_ENDIAN", "IBM", "CRAY", "VAXD", "FDX"}) {
    const std::optional<ByteOrderSettings> chosen = parseByteOrder(known);
    require(chosen.has_value());
    for (ItemKind kind : {ItemKind::integer2, ItemKind::integer4, ItemKind::real4, ItemKind::characters})
      requireRoundTrip(*chosen, kind, image);
  }
  if (settings) {
    for (ItemKind kind : {ItemKind::integer2, ItemKind::integer4, ItemKind::characters})
      requireRoundTrip(*settings, kind, image);
  }
  return 0;
}
