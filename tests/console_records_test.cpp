// The bytes of console output records: converter records at their limits,
// the integer conversions, and the layout and value-list line rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "services/console/record_format.h"

namespace quadrel {
namespace {

using Records = std::vector<std::string>;

Records layout(std::initializer_list<LayoutItem> items) {
  return buildLayoutRecords(std::span<const LayoutItem>(items.begin(), items.size()));
}

Records valueList(std::initializer_list<ListValue> values) {
  return buildValueListRecords(std::span<const ListValue>(values.begin(), values.size()));
}

Records summary(const char* label, std::int32_t number, const char* middle, std::int16_t small,
                const char* tail) {
  return valueList({ListValue::string(label), ListValue::int32(number), ListValue::string(middle),
                    ListValue::int16(small), ListValue::string(tail)});
}

// The usual records are compared byte for byte in every whole run; these
// are the ones that whole runs do not reach.
TEST(ConsoleRecords, ConverterRecordsAtTheirLimits) {
  // Echoes show the 80-byte name field, cut to 40 columns.
  const std::string field50 = std::string(50, 'n') + std::string(30, ' ');
  EXPECT_EQ(layout({LayoutItem::text(" "), LayoutItem::text("File Name of the .WAV output file = "),
                    LayoutItem::chars40(field50)}),
            Records{" File Name of the .WAV output file = " + std::string(40, 'n') + "\r\n"});
  EXPECT_EQ(summary("Number of data points #2 :", -5, " with ", -1, " Channels"),
            Records{" Number of data points #2 :          -5 with      -1 Channels\r\n"});
  EXPECT_EQ(layout({LayoutItem::skip(), LayoutItem::text("Outfile Fsampling ="), LayoutItem::int8(123456789),
                    LayoutItem::text(" Hz")}),
            Records{" Outfile Fsampling =******** Hz\r\n"});
}

TEST(ConsoleRecords, IntegersAreRightJustifiedOrAsterisks) {
  struct Case {
    std::int64_t value;
    std::size_t width;
    const char* expected;
  };
  const Case cases[] = {
      {0, 8, "       0"},
      {-1, 8, "      -1"},
      {99999999, 8, "99999999"},
      {100000000, 8, "********"},
      {-9999999, 8, "-9999999"},
      {-10000000, 8, "********"},
      {-2147483648, 12, " -2147483648"},
      {2147483647, 12, "  2147483647"},
      {-32768, 7, " -32768"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rightJustified(c.value, c.width), c.expected) << c.value;

  // A 16-bit field read as 0xFFFF is -1, also when it arrives unsigned.
  EXPECT_EQ(valueList({ListValue::int16(static_cast<std::int16_t>(0xFFFF))}), Records{"     -1\r\n"});
  EXPECT_EQ(valueList({ListValue{ListValue::Kind::int16, {}, 0xFFFF}}), Records{"     -1\r\n"});

  // A 64-bit count prints like a 32-bit one while that can hold it, and
  // wider, after one blank, once 12 columns cannot.
  for (std::int32_t value :
       {-1, 0, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()})
    EXPECT_EQ(valueList({ListValue::int64(value)}), valueList({ListValue::int32(value)})) << value;
  EXPECT_EQ(valueList({ListValue::int64(4294967295)}), Records{"  4294967295\r\n"});
  EXPECT_EQ(valueList({ListValue::int64(123456789012)}), Records{" 123456789012\r\n"});
  EXPECT_EQ(valueList({ListValue::int64(std::numeric_limits<std::int64_t>::min())}),
            Records{" -9223372036854775808\r\n"});
}

TEST(ConsoleRecords, LayoutItemsPlaceSkipAndEndRecords) {
  EXPECT_EQ(layout({}), Records{"\r\n"});
  EXPECT_EQ(layout({LayoutItem::recordBreak()}), (Records{"\r\n", "\r\n"}));
  EXPECT_EQ(layout({LayoutItem::text("a"), LayoutItem::skip()}), Records{"a\r\n"});
  EXPECT_EQ(layout({LayoutItem::skip(), LayoutItem::skip(), LayoutItem::text("a")}), Records{"  a\r\n"});
  EXPECT_EQ(layout({LayoutItem::text("a"), LayoutItem::recordBreak(), LayoutItem::text("b")}),
            (Records{"a\r\n", "b\r\n"}));
  EXPECT_EQ(layout({LayoutItem::keepOpen()}), Records{""});
  // Name fields go out byte for byte, NULs and trailing blanks included.
  EXPECT_EQ(layout({LayoutItem::chars40(std::string_view("a\0b ", 4))}),
            Records{std::string(36, ' ') + std::string("a\0b \r\n", 6)});
}

TEST(ConsoleRecords, ValueListBlankOnlyBeforeAFittingFirstString) {
  const std::string s79(79, 's');
  const std::string s80(80, 's');
  const std::string s100(100, 's');
  EXPECT_EQ(valueList({}), Records{"\r\n"});
  EXPECT_EQ(valueList({ListValue::int32(7), ListValue::string("x")}), Records{"           7x\r\n"});
  EXPECT_EQ(valueList({ListValue::string("a"), ListValue::string("b")}), Records{" ab\r\n"});
  EXPECT_EQ(valueList({ListValue::string(s79)}), Records{" " + s79 + "\r\n"});
  EXPECT_EQ(valueList({ListValue::string(s80)}), Records{s80 + "\r\n"});
  EXPECT_EQ(valueList({ListValue::string(s100)}), Records{s100 + "\r\n"});
}

TEST(ConsoleRecords, ValueListStartsANewRecordPastColumn80) {
  const std::string s70(70, 's');
  const std::string s9(9, 't');
  EXPECT_EQ(valueList({ListValue::string(s70), ListValue::string(s9)}), Records{" " + s70 + s9 + "\r\n"});
  EXPECT_EQ(valueList({ListValue::string(s70), ListValue::string(s9 + "u")}),
            (Records{" " + s70 + "\r\n", " " + s9 + "u\r\n"}));
  EXPECT_EQ(valueList({ListValue::string(s70), ListValue::int32(1)}),
            (Records{" " + s70 + "\r\n", "           1\r\n"}));
  EXPECT_EQ(valueList({ListValue::string(s70), ListValue::int16(1)}), Records{" " + s70 + "      1\r\n"});
}

}  // namespace
}  // namespace quadrel
