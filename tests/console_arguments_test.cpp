// Command-line words: splitting a command-line string, and fetching a word
// into a name field.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/console/arguments.h"
#include "services/console/command_line.h"
#include "services/console/name_field.h"

namespace quadrel {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLineSplit, QuotingAndBackslashRules) {
  struct Case {
    const char* line;
    Words words;
  };
  const Case cases[] = {
      {"prog a.wav b.wav", {"prog", "a.wav", "b.wav"}},
      {"prog a.wav b.wav c.wav d.wav", {"prog", "a.wav", "b.wav", "c.wav", "d.wav"}},
      {"prog \"my file.wav\" b.wav c.wav", {"prog", "my file.wav", "b.wav", "c.wav"}},
      {R"(prog "C:\in\\" b.wav c.wav)", {"prog", R"(C:\in\)", "b.wav", "c.wav"}},
      {R"(prog "C:\in\" b.wav c.wav)", {"prog", R"(C:\in" b.wav c.wav)"}},
      {R"(prog a\"b x y)", {"prog", "a\"b", "x", "y"}},
      {R"(prog a\\b x y)", {"prog", R"(a\\b)", "x", "y"}},
      {R"(prog a\\\\"b c" d)", {"prog", R"(a\\b c)", "d"}},
      {R"(prog a\\\"b)", {"prog", R"(a\"b)"}},
      {"prog \"a\"\"b x y", {"prog", "a\"b", "x", "y"}},
      {"prog \"a\"\"b c\" x y", {"prog", "a\"b", "c x y"}},
      {"\"prog\"x y z", {"prog", "x", "y", "z"}},
      {"\"my prog\" a", {"my prog", "a"}},
      {R"("C:\dir\" a)", {R"(C:\dir\)", "a"}},
      {"\"unclosed prog", {"unclosed prog"}},
      {"pr\"og a", {"pr\"og", "a"}},
      {"prog\t a\t\tb  ", {"prog", "a", "b"}},
      {"prog \"\" x", {"prog", "", "x"}},
      {"prog a\"\"b", {"prog", "ab"}},
      {"prog \"tail", {"prog", "tail"}},
      {"prog end\\", {"prog", "end\\"}},
      {"", {""}},
      {"  a", {"", "a"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(splitCommandLine(c.line), c.words) << c.line;
}

bool leadsAt0x81(unsigned char byte) { return byte == 0x81; }

TEST(CommandLineSplit, TrailBytesAreNeverSpecial) {
  // 0x81 leads a double-byte character: the byte behind it is copied with it
  // even when it looks like a quote, a backslash or a blank.
  EXPECT_EQ(splitCommandLine("p \x81\" x", leadsAt0x81), (Words{"p", "\x81\"", "x"}));
  EXPECT_EQ(splitCommandLine("p a\x81\\\"b", leadsAt0x81), (Words{"p", "a\x81\\b"}));
  EXPECT_EQ(splitCommandLine("p a\x81 b c", leadsAt0x81), (Words{"p", "a\x81 b", "c"}));
  EXPECT_EQ(splitCommandLine("p\x81 x y", leadsAt0x81), (Words{"p\x81 x", "y"}));
  EXPECT_EQ(splitCommandLine("p a\x81", leadsAt0x81), (Words{"p", "a\x81"}));
  EXPECT_EQ(splitCommandLine("p \x81\" x"), (Words{"p", "\x81 x"}));
}

TEST(ArgumentFetch, FillsTheFieldByTheWordRules) {
  setCommandWords({"prog", "in.wav", std::string(100, 'w'), std::string(80, 'e'), ""});
  EXPECT_EQ(argumentCount(), 5);

  struct Case {
    std::int16_t index;
    std::string field;
    std::int16_t status;
  };
  const Case cases[] = {
      {1, "in.wav" + std::string(74, ' '), 6},
      {2, std::string(80, 'w'), 100},
      {3, std::string(80, 'e'), 80},
      {4, std::string(80, ' '), 0},
  };
  NameField field = blankNameField();
  for (const Case& c : cases) {
    std::int16_t status = 0;
    fetchArgument(c.index, field, &status);
    EXPECT_EQ(asText(field), c.field) << c.index;
    EXPECT_EQ(status, c.status) << c.index;
  }
  fetchArgument(0, field);
  EXPECT_EQ(asText(field), "prog" + std::string(76, ' '));
}

TEST(ArgumentFetch, IndexOutOfRangeLeavesTheFieldUntouched) {
  setCommandWords({"prog", "a"});
  NameField field;
  field.fill('#');
  for (std::int16_t index : {std::int16_t{-1}, std::int16_t{2}, std::int16_t{32767}}) {
    std::int16_t status = 99;
    fetchArgument(index, field, &status);
    EXPECT_EQ(status, -1) << index;
    EXPECT_EQ(asText(field), std::string(80, '#')) << index;
  }
  fetchArgument(5, field);
  EXPECT_EQ(asText(field), std::string(80, '#'));
}

}  // namespace
}  // namespace quadrel
