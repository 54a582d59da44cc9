// The message catalogue as data: every entry, the lookup and the prefixes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "services/diagnostics/message_catalogue.h"

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

TEST(MessageCatalogue, EntriesHaveTheirNumbersClassesAndTexts) {
  struct Case {
    StatusCode code;
    std::uint16_t number;
    Severity severity;
    std::string_view text;
  };
  const Case cases[] = {
      {status::fileNotFound, 29, Severity::severe, "file not found, unit %d, file %s\r\n"},
      {status::endOfFileDuringRead, 24, Severity::severe, "end-of-file during read, unit %d, file %s\r\n"},
      {status::errorDuringWrite, 38, Severity::severe, "error during write, unit %d, file %s\r\n"},
      {status::inconsistentOpenClose, 46, Severity::severe,
       "inconsistent OPEN/CLOSE parameters, unit %d, file %s\r\n"},
      {status::floatConversionFailed, 95, Severity::info, "floating point conversion failed\r\n"},
      {status::controlEvent, 200, Severity::error, "program aborting due to %s event\r\n"},
      {status::flawedDivider, 201, Severity::severe,
       "Intel Pentium fdiv flaw detected, please update the processor\r\n"},
      {status::endOfFile, 613, Severity::severe, "end of file encountered\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(c.code.number(), c.number);
    EXPECT_EQ(c.code.severity(), c.severity);
    EXPECT_EQ(messageTemplate(c.code), c.text);
  }
}

TEST(MessageCatalogue, CodeNotInTheTableIsMessageNotFoundWithASingleLineFeed) {
  EXPECT_EQ(messageTemplate(StatusCode{0xC0000999}), "Message not found\n");
  EXPECT_EQ(messageTemplate(StatusCode{0}), "Message not found\n");
  // The match is on all 32 bits: the number of a known entry in another
  // class is not that entry.
  EXPECT_EQ(messageTemplate(StatusCode{0x8000001D}), "Message not found\n");
  EXPECT_EQ(messageTemplate(StatusCode{0xC001001D}), "Message not found\n");
}

TEST(MessageCatalogue, PrefixFollowsTheSeverityClass) {
  EXPECT_EQ(severityPrefix(Severity::success), "forrtl");
  EXPECT_EQ(severityPrefix(Severity::info), "forrtl: info");
  EXPECT_EQ(severityPrefix(Severity::error), "forrtl: error");
  EXPECT_EQ(severityPrefix(Severity::severe), "forrtl: severe");
}

}  // namespace
}  // namespace quadrel
