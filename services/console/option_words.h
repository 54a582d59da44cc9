// The command line's options: the words that come before the file names.
//
// Every word from word 1 on that starts with "--" is an option, up to the
// first word that does not: that word is the first name, and every word
// after it is a name (or ignored). The meaning of each option belongs to
// whoever reads them; this file only tells options from names.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

struct OptionWords {
  std::vector<std::string> options;  // in the order given
  std::int16_t firstName = 1;        // the index of the first name, maybe past the last word
  // The first word after the first name that starts with "--": an option
  // that came too late to count.
  std::optional<std::string> lateOption;
};

// Splits `words` (word 0 the program name) into options and names.
OptionWords splitOptionWords(std::span<const std::string> words);

// The same, for the words of the process's command line.
OptionWords commandOptionWords();

}  // namespace quadrel
