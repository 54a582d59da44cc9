// The bytes of console output records, built without writing anything.
//
// Each builder returns the records a call produces, in order, each exactly
// as it reaches the platform: its characters, then CR LF unless the layout
// kept the line open. Unit 6 writes each element with one platform write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "services/console/output_records.h"

namespace quadrel {

// The column limit of value-list records.
inline constexpr std::size_t listLineLength = 80;

// `value` in decimal, right-justified in `width` columns with a minus sign
// directly before the digits; `width` asterisks when it needs more columns.
std::string rightJustified(std::int64_t value, std::size_t width);

// The records of a layout. Takes any list of items; always returns at least
// one record, since the end of the layout writes the current one even when
// it is empty.
std::vector<std::string> buildLayoutRecords(std::span<const LayoutItem> layout);

// The records of a value list: one, or more when a value does not fit in
// what is left of the 80-column line. Every record ends in CR LF.
std::vector<std::string> buildValueListRecords(std::span<const ListValue> values);

}  // namespace quadrel
