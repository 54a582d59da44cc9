// Console output records on unit 6.
//
// A record is built in memory and handed to the platform with one write as
// soon as it ends, followed by CR LF unless its layout kept the line open.
// Nothing is held back between calls.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace quadrel {

// One item of a layout record.
struct LayoutItem {
  enum class Kind { skip1, text, chars40, int8, recordBreak, keepOpen };
  Kind kind;
  std::string_view characters{};  // for text and chars40
  std::int32_t integer = 0;       // for int8

  static LayoutItem skip() { return {Kind::skip1}; }
  static LayoutItem text(std::string_view value) { return {Kind::text, value}; }
  static LayoutItem chars40(std::string_view value) { return {Kind::chars40, value}; }
  static LayoutItem int8(std::int32_t value) { return {Kind::int8, {}, value}; }
  static LayoutItem recordBreak() { return {Kind::recordBreak}; }
  static LayoutItem keepOpen() { return {Kind::keepOpen}; }
};

// One value of a value-list record. A 64-bit integer prints exactly like a
// 32-bit one while it fits in 12 columns, and wider, after one blank, when
// it does not.
struct ListValue {
  enum class Kind { characters, int32, int16, int64 };
  Kind kind;
  std::string_view characters{};
  std::int64_t integer = 0;

  static ListValue string(std::string_view value) { return {Kind::characters, value}; }
  static ListValue int32(std::int32_t value) { return {Kind::int32, {}, value}; }
  static ListValue int16(std::int16_t value) { return {Kind::int16, {}, value}; }
  static ListValue int64(std::int64_t value) { return {Kind::int64, {}, value}; }
};

// Writes the records of a layout; the end of the layout ends the last one.
void writeLayoutRecord(std::initializer_list<LayoutItem> layout);

// Writes the values as one list-directed record (a new record only past
// column 80).
void writeValueListRecord(std::initializer_list<ListValue> values);

}  // namespace quadrel
