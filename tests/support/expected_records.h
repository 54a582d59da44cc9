// The console records that the converter writes, spelled out for
// byte-for-byte comparison of whole runs. Every record but a prompt ends in
// CR LF; numbers are right-justified in their columns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quadrel::harness {

// Title, empty record, attribution, empty record.
std::string bannerRecords();

// The three echoes of command-line names (each shown in 40 columns).
std::string echoRecords(std::string_view wx, std::string_view yz, std::string_view output);

// The three prompts of the dialogue form, none with a line end.
std::string promptRecords();

// The two summary records of input `which` (1 or 2). A frame count takes
// 12 columns, or more after one blank when it needs them.
std::string summaryRecords(int which, std::int64_t frames, std::int16_t channels, std::int32_t rate,
                           std::int16_t bits);

// From the rate record to the completion record of a successful run.
std::string closingRecords(std::int32_t rate);

// A rejection: the error text as a value-list record.
std::string errorRecord(std::string_view text);

}  // namespace quadrel::harness
