// The command-line words, stored once at start-up and read by the driver.
#include "services/console/arguments.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace quadrel {
namespace {

std::vector<std::string>& commandWords() {
  static std::vector<std::string> words;
  return words;
}

}  // namespace

void setCommandWords(std::vector<std::string> words) { commandWords() = std::move(words); }

std::int32_t argumentCount() { return static_cast<std::int32_t>(commandWords().size()); }

// A word ends at its first NUL, as the stored word would in a C string. The
// status saturates at the largest 16-bit value for words longer than that.
void fetchArgument(std::int16_t index, std::span<char> field, std::int16_t* status) {
  const std::vector<std::string>& words = commandWords();
  if (index < 0 || static_cast<std::size_t>(index) >= words.size()) {
    if (status != nullptr) *status = -1;
    return;
  }
  const std::string& word = words[static_cast<std::size_t>(index)];
  const std::size_t length = std::strlen(word.c_str());
  const std::size_t copied = std::min(length, field.size());
  std::copy_n(word.begin(), copied, field.begin());
  std::fill(field.begin() + static_cast<std::ptrdiff_t>(copied), field.end(), ' ');
  if (status != nullptr) {
    constexpr std::size_t largest = std::numeric_limits<std::int16_t>::max();
    *status = static_cast<std::int16_t>(std::min(length, largest));
  }
}

}  // namespace quadrel
