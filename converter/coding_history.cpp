// Composing the conversion's CodingHistory line.
#include "converter/coding_history.h"

namespace quadrel {

std::string conversionHistoryLine(const HistoryFacts& facts) {
  const bool pcm = facts.formatTag == 1 || facts.formatTag == 3;
  return std::string(pcm ? "A=PCM," : "") + "F=" + std::to_string(facts.sampleRate) +
         ",W=" + std::to_string(facts.wordLength) +
         ",T=quadrel " QUADREL_VERSION "; two stereo files to 4 channels; " +
         (facts.formatTag == 3 ? "IEEE float; "
          : pcm                ? ""
                               : "format tag " + std::to_string(facts.formatTag) + "; ") +
         std::string(conventionNote(facts.convention));
}

}  // namespace quadrel
