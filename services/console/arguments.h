// The command-line words: the argument count and the argument fetch.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

// Puts `words` in place of the command line's words, word 0 being the
// program name.
void setCommandWords(std::vector<std::string> words);

// The number of words, word 0 included.
std::int32_t argumentCount();

// Every word, each up to its first NUL, as the argument fetch sees it.
std::vector<std::string> argumentWords();

// Copies word `index` into `field`, blank padded; a word as long as the field
// or longer fills it. `status` receives the word's full length. An index out
// of range leaves the field untouched and sets `status` to -1.
void fetchArgument(std::int16_t index, std::span<char> field, std::int16_t* status = nullptr);

}  // namespace quadrel
