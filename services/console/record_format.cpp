// Console output records: layout records and value-list records as bytes.
#include "services/console/record_format.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace quadrel {
namespace {

constexpr std::string_view recordEnd = "\r\n";
constexpr std::size_t chars40Width = 40;
constexpr std::size_t int8Width = 8;
constexpr std::size_t int32ListWidth = 12;
constexpr std::size_t int16ListWidth = 7;

// One record being assembled: blanks up to the high-water mark, which is
// always the length of `characters`, since the column only moves forward.
class RecordBuilder {
 public:
  explicit RecordBuilder(std::vector<std::string>& records) : records_(records) {}

  std::size_t column() const { return column_; }
  bool empty() const { return characters_.empty(); }

  void place(std::string_view text) {
    const std::size_t end = column_ + text.size();
    if (characters_.size() < end) characters_.resize(end, ' ');
    characters_.replace(column_, text.size(), text);
    column_ = end;
  }

  void skip() { ++column_; }
  void keepOpen() { keepOpen_ = true; }

  // Hands the record over and begins a new, empty one.
  void finish() {
    std::string record = std::move(characters_);
    if (!keepOpen_) record.append(recordEnd);
    records_.push_back(std::move(record));
    characters_.clear();
    column_ = 0;
    keepOpen_ = false;
  }

 private:
  std::vector<std::string>& records_;
  std::string characters_;
  std::size_t column_ = 0;
  bool keepOpen_ = false;
};

std::string chars40(std::string_view value) {
  if (value.size() >= chars40Width) return std::string(value.substr(0, chars40Width));
  std::string field(chars40Width - value.size(), ' ');
  field.append(value);
  return field;
}

std::string listText(const ListValue& value) {
  switch (value.kind) {
    case ListValue::Kind::characters:
      return std::string(value.characters);
    case ListValue::Kind::int32:
      return rightJustified(static_cast<std::int32_t>(value.integer), int32ListWidth);
    case ListValue::Kind::int64:
      return rightJustified(value.integer,
                            std::max(int32ListWidth, std::to_string(value.integer).size() + 1));
    case ListValue::Kind::int16:
      break;
  }
  return rightJustified(static_cast<std::int16_t>(value.integer), int16ListWidth);
}

}  // namespace

std::string rightJustified(std::int64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() > width) return std::string(width, '*');
  return std::string(width - digits.size(), ' ') + digits;
}

std::vector<std::string> buildLayoutRecords(std::span<const LayoutItem> layout) {
  std::vector<std::string> records;
  RecordBuilder record(records);
  for (const LayoutItem& item : layout) {
    switch (item.kind) {
      case LayoutItem::Kind::skip1:
        record.skip();
        break;
      case LayoutItem::Kind::text:
        record.place(item.characters);
        break;
      case LayoutItem::Kind::chars40:
        record.place(chars40(item.characters));
        break;
      case LayoutItem::Kind::int8:
        record.place(rightJustified(item.integer, int8Width));
        break;
      case LayoutItem::Kind::recordBreak:
        record.finish();
        break;
      case LayoutItem::Kind::keepOpen:
        record.keepOpen();
        break;
    }
  }
  record.finish();
  return records;
}

// Every record of a value list begins with a pending leading blank, placed
// before a string when the blank and the string fit in the line. A value
// that does not fit behind what the record holds starts a new record; one
// too long for any line is placed whole in a record of its own.
std::vector<std::string> buildValueListRecords(std::span<const ListValue> values) {
  std::vector<std::string> records;
  RecordBuilder record(records);
  bool leadingBlankPending = true;
  for (const ListValue& value : values) {
    const std::string text = listText(value);
    if (!record.empty() && record.column() + text.size() > listLineLength) {
      record.finish();
      leadingBlankPending = true;
    }
    if (value.kind == ListValue::Kind::characters && leadingBlankPending &&
        record.column() + 1 + text.size() <= listLineLength) {
      record.place(" ");
    }
    record.place(text);
    leadingBlankPending = false;
  }
  record.finish();
  return records;
}

}  // namespace quadrel
