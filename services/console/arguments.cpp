// The command-line words, taken from the command line that the start-up
// copied and read by the driver.
#include "services/console/arguments.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "platform/platform.h"
#include "services/console/command_line.h"
#include "services/diagnostics/startup.h"

namespace quadrel {
namespace {

std::optional<std::vector<std::string>>& storedWords() {
  static std::optional<std::vector<std::string>> words;
  return words;
}

// Where the system kept the command line as one text, it is split here, on
// first use, by the program's own rules.
const std::vector<std::string>& commandWords() {
  std::optional<std::vector<std::string>>& words = storedWords();
  if (!words) {
    const platform::CommandLine& line = startupCommandLine();
    try {
      words = line.text ? splitCommandLine(*line.text, platform::isLeadByte) : line.words;
    } catch (const std::bad_alloc&) {
      failStartup(StartupFailure::commandWords);
    }
  }
  return *words;
}

}  // namespace

void setCommandWords(std::vector<std::string> words) { storedWords() = std::move(words); }

std::int32_t argumentCount() { return static_cast<std::int32_t>(commandWords().size()); }

std::vector<std::string> argumentWords() {
  std::vector<std::string> words;
  for (const std::string& word : commandWords())
    words.emplace_back(word.c_str());
  return words;
}

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
