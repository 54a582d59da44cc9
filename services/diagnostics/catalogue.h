// Status codes and the message catalogue: the text of every status code
// this program raises, and of a few that it keeps (catalogue.cpp).
//
// A status is 32 bits: bits 31..30 hold the severity class, bits 15..0 the
// message number. The catalogue is data: one table of {code, template}.
// Templates are printf-style ("unit %d, file %s") and each ends in CR LF.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quadrel {

enum class Severity : std::uint8_t { success = 0, info = 1, error = 2, severe = 3 };

struct StatusCode {
  std::uint32_t value;

  constexpr Severity severity() const { return static_cast<Severity>(value >> 30); }
  constexpr std::uint16_t number() const { return static_cast<std::uint16_t>(value & 0xFFFF); }
  friend constexpr bool operator==(StatusCode, StatusCode) = default;
};

namespace status {
inline constexpr StatusCode permissionDenied{0xC0000009};
inline constexpr StatusCode cannotOverwrite{0xC000000A};
inline constexpr StatusCode rewindError{0xC0000014};
inline constexpr StatusCode inputRecordTooLong{0xC0000016};
inline constexpr StatusCode endOfFileDuringRead{0xC0000018};
inline constexpr StatusCode closeError{0xC000001C};
inline constexpr StatusCode fileNotFound{0xC000001D};
inline constexpr StatusCode openFailure{0xC000001E};
inline constexpr StatusCode errorDuringWrite{0xC0000026};
inline constexpr StatusCode errorDuringRead{0xC0000027};
inline constexpr StatusCode insufficientMemory{0xC0000029};
inline constexpr StatusCode noSuchDevice{0xC000002A};
inline constexpr StatusCode fileNameError{0xC000002B};
inline constexpr StatusCode inconsistentOpenClose{0xC000002E};
inline constexpr StatusCode tooMuchData{0xC0000043};
inline constexpr StatusCode seekRequired{0xC0000078};
inline constexpr StatusCode endOfFile{0xC0000265};
inline constexpr StatusCode tooManyBytesRead{0xC000026C};
inline constexpr StatusCode floatConversionFailed{0x4000005F};
inline constexpr StatusCode controlEvent{0x800000C8};
inline constexpr StatusCode flawedDivider{0xC00000C9};
}  // namespace status

struct CatalogueEntry {
  StatusCode code;
  std::string_view text;  // the template, CR LF included
};

// Every entry of the catalogue, in ascending order of message number.
std::span<const CatalogueEntry> catalogueEntries();

// The template of `code`, matched on all 32 bits. A code that is not in the
// catalogue yields "Message not found" and a single LF.
std::string_view messageTemplate(StatusCode code);

// "forrtl", "forrtl: info", "forrtl: error" or "forrtl: severe", chosen by
// the code's severity class.
std::string_view severityPrefix(Severity severity);

}  // namespace quadrel
