// FORT_CONVERTn values and the item-by-item conversions they select.
//
// In memory every number is little-endian and every real IEEE. In the file
// an IBM real is big-endian; a VAX real is two little-endian 16-bit words,
// the one holding sign and exponent first.
#include "services/units/byte_order.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "services/units/little_endian.h"
#include "services/units/real_formats.h"

namespace quadrel {
namespace {

constexpr std::size_t longestValueTaken = 20;

struct NamedSettings {
  std::string_view value;
  ByteOrderSettings settings;
};

constexpr ByteOrderSettings unchanged{};
constexpr ByteOrderSettings bigEndian{true, true, true, RealFormat::ieee};
constexpr ByteOrderSettings ibm{true, true, false, RealFormat::ibm};
constexpr ByteOrderSettings cray{true, true, false, RealFormat::ieee};
constexpr ByteOrderSettings vax{true, false, false, RealFormat::vax};

constexpr std::array<NamedSettings, 9> knownValues{{
    {"NATIVE", unchanged},
    {"LITTLE_ENDIAN", unchanged},
    {"BIG_ENDIAN", bigEndian},
    {"IBM", ibm},
    {"CRAY", cray},
    {"VAXD", vax},
    {"VAXG", vax},
    {"FDX", unchanged},
    {"FGX", unchanged},
}};

std::uint32_t loadBig(const std::byte* b) {
  return std::to_integer<std::uint32_t>(b[3]) | std::to_integer<std::uint32_t>(b[2]) << 8 |
         std::to_integer<std::uint32_t>(b[1]) << 16 | std::to_integer<std::uint32_t>(b[0]) << 24;
}

void storeBig(std::byte* b, std::uint32_t bits) {
  for (int i = 0; i < 4; ++i)
    b[3 - i] = static_cast<std::byte>(bits >> (8 * i));
}

// VAX words: bits 31-16 then bits 15-0, each stored low byte first.
std::uint32_t loadVax(const std::byte* b) {
  return std::to_integer<std::uint32_t>(b[2]) | std::to_integer<std::uint32_t>(b[3]) << 8 |
         std::to_integer<std::uint32_t>(b[0]) << 16 | std::to_integer<std::uint32_t>(b[1]) << 24;
}

void storeVax(std::byte* b, std::uint32_t bits) {
  b[0] = static_cast<std::byte>(bits >> 16);
  b[1] = static_cast<std::byte>(bits >> 24);
  b[2] = static_cast<std::byte>(bits);
  b[3] = static_cast<std::byte>(bits >> 8);
}

void reverseImage(std::byte* image, std::size_t length) { std::reverse(image, image + length); }

}  // namespace

std::optional<ByteOrderSettings> parseByteOrder(std::string_view value) {
  std::string upper(value.substr(0, longestValueTaken));
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const NamedSettings& known : knownValues) {
    if (known.value == upper) return known.settings;
  }
  return std::nullopt;
}

bool fileToMemory(const ByteOrderSettings& settings, ItemKind kind, std::byte* image) {
  switch (kind) {
    case ItemKind::characters:
      return true;
    case ItemKind::integer2:
    case ItemKind::integer4:
      if (settings.reverseIntegers) reverseImage(image, itemLength(kind));
      return true;
    case ItemKind::real4:
      break;
  }
  RealConversion result{};
  switch (settings.realFormat) {
    case RealFormat::ibm:
      result = ibmToIeee(loadBig(image));
      break;
    case RealFormat::vax:
      result = vaxToIeee(loadVax(image));
      break;
    case RealFormat::ieee:
      if (settings.reverseReals) reverseImage(image, 4);
      return true;
  }
  storeUint32Le(image, result.bits);
  return result.represented;
}

bool memoryToFile(const ByteOrderSettings& settings, ItemKind kind, std::byte* image) {
  switch (kind) {
    case ItemKind::characters:
      return true;
    case ItemKind::integer2:
    case ItemKind::integer4:
      if (settings.reverseIntegers) reverseImage(image, itemLength(kind));
      return true;
    case ItemKind::real4:
      break;
  }
  switch (settings.realFormat) {
    case RealFormat::ibm: {
      const RealConversion result = ieeeToIbm(loadUint32Le(image));
      storeBig(image, result.bits);
      return result.represented;
    }
    case RealFormat::vax: {
      const RealConversion result = ieeeToVax(loadUint32Le(image));
      storeVax(image, result.bits);
      return result.represented;
    }
    case RealFormat::ieee:
      if (settings.reverseReals) reverseImage(image, 4);
      return true;
  }
  return true;
}

}  // namespace quadrel
