// The message catalogue as data: every entry and the lookup by whole code.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "services/diagnostics/catalogue.h"

namespace quadrel {
namespace {

TEST(MessageCatalogue, EveryEntryIsWellFormedAndFoundByItsWholeCode) {
  std::set<std::uint32_t> seen;
  for (const CatalogueEntry& entry : catalogueEntries()) {
    SCOPED_TRACE(entry.code.value);
    EXPECT_TRUE(seen.insert(entry.code.value).second) << "code listed twice";
    EXPECT_EQ(entry.code.value & 0x3FFF0000u, 0u) << "bits 29..16 must be zero";
    EXPECT_NE(entry.code.severity(), Severity::success);

    const std::string_view text = entry.text;
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << "one line end, at the end only";

    // A unit template ends in the unit number and the file name; no other
    // template takes a unit.
    const std::string_view body = text.substr(0, text.size() - 2);
    const std::size_t unitPart = body.find("unit %d, file %s");
    if (unitPart != std::string_view::npos) {
      EXPECT_EQ(unitPart + 16, body.size());
    }

    EXPECT_EQ(messageTemplate(entry.code), text);
  }
  EXPECT_EQ(seen.size(), 21u);
}

TEST(MessageCatalogue, CodeNotInTheTableIsMessageNotFoundWithASingleLineFeed) {
  EXPECT_EQ(messageTemplate(StatusCode{0xC0000999}), "Message not found\n");
  EXPECT_EQ(messageTemplate(StatusCode{0}), "Message not found\n");
  // The match is on all 32 bits: the number of a known entry in another
  // class is not that entry.
  EXPECT_EQ(messageTemplate(StatusCode{0x8000001D}), "Message not found\n");
  EXPECT_EQ(messageTemplate(StatusCode{0xC001001D}), "Message not found\n");
}

}  // namespace
}  // namespace quadrel
