// The CodingHistory line that a chunked output's bext gains: what the
// conversion made of the two inputs, in the syntax of EBU R 98 (fields
// separated by commas, free text after "T=" holding none).
//
// A= says PCM for integer and floating-point samples alike, as R 98 has no
// other value for them, and the text says which; another format tag is
// named in the text alone. R 98's M= knows one and two channels only, so
// the line leaves it out and the text says four.
#pragma once

#include <cstdint>
#include <string>

#include "converter/ixml_chunk.h"

namespace quadrel {

struct HistoryFacts {
  ChannelConvention convention = ChannelConvention::traditional;
  std::uint16_t formatTag = 1;  // of the samples: 1 PCM, 3 IEEE float
  std::uint32_t sampleRate = 0;
  std::uint16_t wordLength = 0;  // the bits that carry a sample
};

// The line, without its CR LF.
std::string conversionHistoryLine(const HistoryFacts& facts);

}  // namespace quadrel
