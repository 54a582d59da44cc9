// Fuzz target: splitting a command line into words.
//
// The first byte picks the lead-byte rule: none, or a double-byte code page
// whose lead bytes are 0x81-0xFE. Without lead bytes, the words are quoted
// back into a command line by the inverse rules and split again: the same
// words must come back. With lead bytes, a word can only hold bytes of the
// line, so the words together are never longer than the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "services/console/command_line.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool doubleByteLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// Word 0 quoted when it holds no quote (a quoted program name has no
// escapes), else written bare, which it then was.
std::string quoteProgramName(const std::string& word) {
  if (word.find('"') == std::string::npos) return '"' + word + '"';
  return word;
}

// An argument in quotes: 2n+1 backslashes before a literal quote, 2n before
// the closing quote, backslashes elsewhere as they are.
std::string quoteArgument(const std::string& word) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char byte : word) {
    if (byte == '\\') {
      ++backslashes;
      continue;
    }
    if (byte == '"') {
      quoted.append(2 * backslashes + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += byte;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + '"';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool leadBytes = (data[0] & 1) != 0;

  const std::vector<std::string> words =
      quadrel::splitCommandLine(line, leadBytes ? doubleByteLead : nullptr);
  require(!words.empty());
  std::size_t total = 0;
  for (const std::string& word : words)
    total += word.size();
  require(total <= line.size());
  if (leadBytes) return 0;

  std::string rebuilt = quoteProgramName(words[0]);
  for (std::size_t i = 1; i < words.size(); ++i)
    rebuilt += ' ' + quoteArgument(words[i]);
  require(quadrel::splitCommandLine(rebuilt) == words);
  return 0;
}
