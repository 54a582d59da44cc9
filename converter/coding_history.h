// The CodingHistory line that a chunked output's bext gains: what the
// conversion made of the two inputs, in the syntax of EBU R 98 (fields
// separated by commas, free text after "T=" holding none).
//
// A= says PCM for integer and floating-point samples alike, as R 98 has no
// other value for them; the text says which. R 98's M= knows one and two
// channels only, so the line leaves it out and the text says four.
#pragma once

#include <cstdint>
#include <string>

#include "converter/ixml_chunk.h"

namespace quadrel {

struct HistoryFacts {
  ChannelConvention convention = ChannelConvention::traditional;
  bool floatingPoint = false;
  std::uint32_t sampleRate = 0;
  std::uint16_t wordLength = 0;  // the bits that carry a sample
};

// The line, without its CR LF.
std::string conversionHistoryLine(const HistoryFacts& facts);

}  // namespace quadrel
