// The rule for boolean environment flags, and names matched without regard
// to case.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "services/diagnostics/startup.h"

namespace quadrel {
namespace {

TEST(EnvFlag, ValueRule) {
  struct Case {
    std::optional<std::string_view> value;
    bool set;
  };
  const Case cases[] = {
      {std::nullopt, false}, {"", false},    {"t", true},      {"TRUE", true},
      {"true", true},        {"Yes", true},  {"y", true},      {"Y", true},
      {"tomato", true},      {"1", true},    {"12", true},     {"007", true},
      {"0", false},          {"000", false}, {"no", false},    {"false", false},
      {"12a", false},        {" 1", false},  {"1 ", false},    {"-1", false},
      {"+1", false},         {"on", false},  {" true", false}, {"99999999999999999999999", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? std::string(*c.value) : "(not set)");
    EXPECT_EQ(flagValueIsSet(c.value), c.set);
  }
}

TEST(EnvFlag, VariableNameMatchesWithoutRegardToCase) {
  ASSERT_EQ(setenv("quadrel_Test_Flag", "Yes", 1), 0);
  EXPECT_TRUE(envFlagIsSet("QUADREL_TEST_FLAG"));
  EXPECT_TRUE(envFlagIsSet("quadrel_test_flag"));
  EXPECT_EQ(platform::environmentValue("Quadrel_Test_FLAG"), "Yes");
  // Only the whole name matches.
  EXPECT_FALSE(envFlagIsSet("QUADREL_TEST_FLA"));
  EXPECT_FALSE(envFlagIsSet("QUADREL_TEST_FLAGS"));
  EXPECT_EQ(platform::environmentValue("QUADREL_TEST_FLAG=Yes"), std::nullopt);
  ASSERT_EQ(setenv("quadrel_Test_Flag", "0", 1), 0);
  EXPECT_FALSE(envFlagIsSet("QUADREL_TEST_FLAG"));
  ASSERT_EQ(unsetenv("quadrel_Test_Flag"), 0);
  EXPECT_FALSE(envFlagIsSet("QUADREL_TEST_FLAG"));
  EXPECT_EQ(platform::environmentValue("QUADREL_TEST_FLAG"), std::nullopt);
}

TEST(EnvFlag, EmptyValueIsSetButFalse) {
  ASSERT_EQ(setenv("QUADREL_TEST_EMPTY", "", 1), 0);
  EXPECT_EQ(platform::environmentValue("quadrel_test_empty"), "");
  EXPECT_FALSE(envFlagIsSet("QUADREL_TEST_EMPTY"));
  unsetenv("QUADREL_TEST_EMPTY");
}

}  // namespace
}  // namespace quadrel
