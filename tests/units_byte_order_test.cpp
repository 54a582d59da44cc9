// FORT_CONVERTn values, item reversal, and the IBM and VAX real formats on
// known values in both directions.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "services/units/byte_order.h"
#include "services/units/real_formats.h"

namespace quadrel {
namespace {

using Image = std::array<std::uint8_t, 4>;

Image converted(bool toFile, const ByteOrderSettings& settings, ItemKind kind, Image image) {
  auto* bytes = reinterpret_cast<std::byte*>(image.data());
  if (toFile) {
    memoryToFile(settings, kind, bytes);
  } else {
    fileToMemory(settings, kind, bytes);
  }
  return image;
}

ByteOrderSettings parsed(const char* value) { return *parseByteOrder(value); }

TEST(ByteOrder, ParsesTheKnownValuesWhole) {
  const std::pair<const char*, bool> cases[] = {
      {"NATIVE", true}, {"little_endian", true}, {"Big_Endian", true},
      {"ibm", true},    {"CRAY", true},          {"vaxd", true},
      {"VAXG", true},   {"fdx", true},           {"FGX", true},
      {"", false},      {"BIG", false},          {"BIG_ENDIAN ", false},
      {" IBM", false},  {"WRONG", false},        {"BIG_ENDIAN_AND_MORE_THAN_20", false},
  };
  for (const auto& [value, known] : cases)
    EXPECT_EQ(parseByteOrder(value).has_value(), known) << value;
  EXPECT_FALSE(parsed("NATIVE").convert);
  EXPECT_FALSE(parsed("FDX").convert);
}

TEST(ByteOrder, ReversesItemsByKindAndNeverCharacters) {
  const Image bytes{1, 2, 3, 4};
  struct Case {
    const char* value;
    Image integer4, integer2, real4, characters;
  };
  const Case cases[] = {
      {"BIG_ENDIAN", {4, 3, 2, 1}, {2, 1, 3, 4}, {4, 3, 2, 1}, {1, 2, 3, 4}},
      {"CRAY", {4, 3, 2, 1}, {2, 1, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"VAXD", {1, 2, 3, 4}, {1, 2, 3, 4}, {}, {1, 2, 3, 4}},
      {"LITTLE_ENDIAN", {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"FGX", {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    const ByteOrderSettings settings = parsed(c.value);
    for (bool toFile : {false, true}) {
      EXPECT_EQ(converted(toFile, settings, ItemKind::integer4, bytes), c.integer4) << c.value;
      EXPECT_EQ(converted(toFile, settings, ItemKind::integer2, bytes), c.integer2) << c.value;
      EXPECT_EQ(converted(toFile, settings, ItemKind::characters, bytes), c.characters) << c.value;
      if (c.real4 != Image{}) {
        EXPECT_EQ(converted(toFile, settings, ItemKind::real4, bytes), c.real4) << c.value;
      }
    }
  }
}

struct ExactPair {
  std::uint32_t ieee;
  std::uint32_t other;
};

TEST(IbmReals, KnownValuesConvertExactlyBothWays) {
  const ExactPair cases[] = {
      {0x3F800000, 0x41100000},  // 1.0
      {0xC2ED4000, 0xC276A000},  // -118.625
      {0x3E200000, 0x40280000},  // 0.15625
      {0x7F7FFFFF, 0x60FFFFFF},  // largest IEEE single
      {0x00800000, 0x21400000},  // smallest IEEE normal, 2^-126
      {0x00000001, 0x1B800000},  // smallest IEEE subnormal, 2^-149
      {0x80000001, 0x9B800000}, {0x00000000, 0x00000000}, {0x80000000, 0x80000000},
  };
  for (const ExactPair& c : cases) {
    EXPECT_EQ(ieeeToIbm(c.ieee).bits, c.other) << std::hex << c.ieee;
    EXPECT_TRUE(ieeeToIbm(c.ieee).represented);
    EXPECT_EQ(ibmToIeee(c.other).bits, c.ieee) << std::hex << c.other;
    EXPECT_TRUE(ibmToIeee(c.other).represented);
  }
  // Unnormalised and zero-fraction IBM patterns.
  EXPECT_EQ(ibmToIeee(0x41010000).bits, 0x3D800000u);  // 1/16
  EXPECT_EQ(ibmToIeee(0x42000000).bits, 0x00000000u);
}

TEST(IbmReals, RoundsToNearestEvenAndReportsWhatCannotBeRepresented) {
  const ExactPair rounding[] = {
      {0x3F800001, 0x41100000},  // 1 + 2^-23: below half an IBM unit
      {0x3F800004, 0x41100000},  // exactly half, even stays
      {0x3F80000C, 0x41100002},  // exactly half, odd goes up
      {0x3F800005, 0x41100001},  // above half
      {0x3FFFFFFF, 0x41200000},  // rounds up into the next power of two
  };
  for (const ExactPair& c : rounding) {
    EXPECT_EQ(ieeeToIbm(c.ieee).bits, c.other) << std::hex << c.ieee;
    EXPECT_TRUE(ieeeToIbm(c.ieee).represented);
  }
  const ExactPair failing[] = {
      {0x7F800000, 0x7FFFFFFF},  // +infinity: largest IBM magnitude
      {0xFF800000, 0xFFFFFFFF},
      {0x7FC00000, 0x7FFFFFFF},  // NaN
  };
  for (const ExactPair& c : failing) {
    EXPECT_EQ(ieeeToIbm(c.ieee).bits, c.other) << std::hex << c.ieee;
    EXPECT_FALSE(ieeeToIbm(c.ieee).represented);
  }
  const ExactPair failingBack[] = {
      {0x7F800000, 0x7FFFFFFF},  // largest IBM: beyond IEEE, infinity
      {0xFF800000, 0xE1100000},  // -2^128
      {0x00000000, 0x00100000},  // smallest IBM, 16^-65: zero
      {0x80000000, 0x9A100000},  // -2^-156, below half the smallest subnormal
  };
  for (const ExactPair& c : failingBack) {
    EXPECT_EQ(ibmToIeee(c.other).bits, c.ieee) << std::hex << c.other;
    EXPECT_FALSE(ibmToIeee(c.other).represented);
  }
  // 2^-150 is exactly half the smallest subnormal: ties to even, zero.
  EXPECT_EQ(ibmToIeee(0x1B400000).bits, 0x00000000u);
  // 3 * 2^-150 is a tie too, and goes to 2 * 2^-149, still represented.
  EXPECT_EQ(ibmToIeee(0x1BC00000).bits, 0x00000002u);
  EXPECT_TRUE(ibmToIeee(0x1BC00000).represented);
}

TEST(IbmReals, EveryNormalisedIbmValueInIeeeRangeSurvivesTheRoundTrip) {
  for (std::uint32_t exponent = 0x22; exponent <= 0x60; ++exponent) {
    for (std::uint32_t fraction = 0x100000; fraction <= 0xFFFFFF; fraction += 0x1F3D) {
      const std::uint32_t ibm = exponent << 24 | fraction;
      const RealConversion ieee = ibmToIeee(ibm);
      ASSERT_TRUE(ieee.represented) << std::hex << ibm;
      ASSERT_EQ(ieeeToIbm(ieee.bits).bits, ibm) << std::hex << ibm;
    }
  }
}

TEST(VaxReals, KnownValuesConvertExactlyBothWays) {
  const ExactPair cases[] = {
      {0x3F800000, 0x40800000},  // 1.0
      {0xC2ED4000, 0xC3ED4000},  // -118.625
      {0x3E200000, 0x3F200000},  // 0.15625
      {0x7EFFFFFF, 0x7FFFFFFF},  // largest VAX magnitude
      {0x00200000, 0x00800000},  // smallest VAX magnitude, 2^-128: an IEEE subnormal
      {0x00400000, 0x01000000},  // 2^-127
      {0x00800000, 0x01800000},  // smallest IEEE normal
      {0x00000000, 0x00000000},
  };
  for (const ExactPair& c : cases) {
    EXPECT_EQ(ieeeToVax(c.ieee).bits, c.other) << std::hex << c.ieee;
    EXPECT_TRUE(ieeeToVax(c.ieee).represented);
    EXPECT_EQ(vaxToIeee(c.other).bits, c.ieee) << std::hex << c.other;
    EXPECT_TRUE(vaxToIeee(c.other).represented);
  }
  EXPECT_EQ(ieeeToVax(0x80000000).bits, 0u);  // one zero only
  EXPECT_TRUE(ieeeToVax(0x80000000).represented);
  EXPECT_EQ(vaxToIeee(0x00001234).bits, 0u);  // exponent 0, sign 0: zero
}

TEST(VaxReals, RoundsInTheSmallestBinadesAndReportsWhatCannotBeRepresented) {
  EXPECT_EQ(vaxToIeee(0x00800001).bits, 0x00200000u);
  EXPECT_EQ(vaxToIeee(0x00FFFFFF).bits, 0x00400000u);
  EXPECT_TRUE(vaxToIeee(0x00FFFFFF).represented);

  const ExactPair failing[] = {
      {0x7F800000, 0x7FFFFFFF},                            // +infinity
      {0xFF800000, 0xFFFFFFFF}, {0x7FC00000, 0x00000000},  // NaN
      {0x7F000000, 0x7FFFFFFF},                            // 2^127
      {0x7F7FFFFF, 0x7FFFFFFF}, {0x00100000, 0x00000000},  // 2^-129
      {0x80000001, 0x00000000},
  };
  for (const ExactPair& c : failing) {
    EXPECT_EQ(ieeeToVax(c.ieee).bits, c.other) << std::hex << c.ieee;
    EXPECT_FALSE(ieeeToVax(c.ieee).represented);
  }
  EXPECT_EQ(vaxToIeee(0x80000000).bits, 0xFFC00000u);  // reserved operand: NaN
  EXPECT_FALSE(vaxToIeee(0x80000000).represented);
}

TEST(VaxReals, EveryIeeeValueInVaxRangeSurvivesTheRoundTrip) {
  for (std::uint32_t ieee = 0x00200000; ieee < 0x7F000000; ieee += 0x000A3F1D) {
    for (std::uint32_t sign : {0u, 0x80000000u}) {
      const RealConversion vax = ieeeToVax(ieee | sign);
      ASSERT_TRUE(vax.represented) << std::hex << ieee;
      ASSERT_EQ(vaxToIeee(vax.bits).bits, ieee | sign) << std::hex << ieee;
    }
  }
}

// VAX output bytes are checked in a whole run.
TEST(RealLayouts, IbmIsBigEndianAndVaxKeepsItsWordOrderInTheFile) {
  const Image one{0x00, 0x00, 0x80, 0x3F};  // 1.0f in memory
  EXPECT_EQ(converted(true, parsed("IBM"), ItemKind::real4, one), (Image{0x41, 0x10, 0x00, 0x00}));
  EXPECT_EQ(converted(false, parsed("IBM"), ItemKind::real4, Image{0xC2, 0x76, 0xA0, 0x00}),
            (Image{0x00, 0x40, 0xED, 0xC2}));
  EXPECT_EQ(converted(false, parsed("VAXG"), ItemKind::real4, Image{0xED, 0xC3, 0x00, 0x40}),
            (Image{0x00, 0x40, 0xED, 0xC2}));
}

}  // namespace
}  // namespace quadrel
