// What the options before the names ask of a conversion.
//   --ambix              AmbiX output
//   --align              the two files placed by their bext TimeReference
//   --align=timecode     the same
//   --offset=N           the YZ file's first frame N frames after the WX
//                        file's (before it when N < 0)
// --align and --offset exclude each other. Any other word that starts with
// "--" before the names, or any such word after the first name, is refused.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "services/console/option_words.h"

namespace quadrel {

// How the two files are put on one timeline.
enum class Alignment : std::uint8_t {
  none,      // they start together and must be equally long
  timecode,  // by their bext TimeReference
  offset,    // by the offset given
};

struct RunOptions {
  bool ambix = false;
  Alignment alignment = Alignment::none;
  std::int64_t offset = 0;  // with Alignment::offset
  std::int16_t firstName = 1;
};

// The options `words` ask for, or the error record that refuses them.
std::variant<RunOptions, std::string> interpretOptions(const OptionWords& words);

// The options of the command line; a refusal is written as one error record
// and stops the run with status 0.
RunOptions readRunOptions();

}  // namespace quadrel
