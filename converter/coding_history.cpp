// Composing the conversion's CodingHistory line.
#include "converter/coding_history.h"

namespace quadrel {

std::string conversionHistoryLine(const HistoryFacts& facts) {
  return "A=PCM,F=" + std::to_string(facts.sampleRate) + ",W=" + std::to_string(facts.wordLength) +
         ",T=quadrel " QUADREL_VERSION "; two stereo files to 4 channels; " +
         (facts.floatingPoint ? "IEEE float; " : "") + std::string(conventionNote(facts.convention));
}

}  // namespace quadrel
