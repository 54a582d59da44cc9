// Telling options from names among the command-line words.
#include "services/console/option_words.h"

#include <algorithm>
#include <limits>

#include "services/console/arguments.h"

namespace quadrel {
namespace {

bool looksLikeOption(const std::string& word) { return word.starts_with("--"); }

}  // namespace

OptionWords splitOptionWords(std::span<const std::string> words) {
  OptionWords split;
  // Word indices are 16-bit for the argument fetch; words beyond are never fetched.
  const std::size_t count = std::min<std::size_t>(words.size(), std::numeric_limits<std::int16_t>::max());
  std::size_t at = 1;
  for (; at < count && looksLikeOption(words[at]); ++at)
    split.options.push_back(words[at]);
  split.firstName = static_cast<std::int16_t>(at);
  for (++at; at < count; ++at) {
    if (!looksLikeOption(words[at])) continue;
    split.lateOption = words[at];
    break;
  }
  return split;
}

OptionWords commandOptionWords() { return splitOptionWords(argumentWords()); }

}  // namespace quadrel
