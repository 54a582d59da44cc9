// Splitting a command-line string into words.
//
// Word 0, the program name, has its own quote rule: a leading quote runs to
// the next quote, with no escapes. The arguments follow the backslash and
// quote rules: 2n backslashes before a quote give n and the quote switches
// quote mode; 2n+1 give n and a literal quote; backslashes elsewhere are
// literal; inside quotes a doubled quote gives one quote and leaves quote
// mode. Outside quote mode a blank (space or tab) ends a word.
#include "services/console/command_line.h"

#include <cstddef>

namespace quadrel {
namespace {

bool isBlank(char byte) { return byte == ' ' || byte == '\t'; }

class Scanner {
 public:
  Scanner(std::string_view line, LeadBytePredicate isLeadByte) : line_(line), isLeadByte_(isLeadByte) {}

  bool atEnd() const { return position_ >= line_.size(); }
  char current() const { return line_[position_]; }
  bool nextIs(char byte) const { return position_ + 1 < line_.size() && line_[position_ + 1] == byte; }
  void step() { ++position_; }

  // Copies the current character, a lead byte together with its trail byte,
  // so that a trail byte is never taken for a quote, backslash or blank.
  void copyCharacter(std::string& word) {
    const bool pair = isLeadByte_ != nullptr && isLeadByte_(static_cast<unsigned char>(current())) &&
                      position_ + 1 < line_.size();
    const std::size_t length = pair ? 2 : 1;
    word.append(line_.substr(position_, length));
    position_ += length;
  }

 private:
  std::string_view line_;
  LeadBytePredicate isLeadByte_;
  std::size_t position_ = 0;
};

std::string programName(Scanner& scan) {
  std::string word;
  if (!scan.atEnd() && scan.current() == '"') {
    scan.step();
    while (!scan.atEnd() && scan.current() != '"')
      scan.copyCharacter(word);
    if (!scan.atEnd()) scan.step();
    return word;
  }
  while (!scan.atEnd() && !isBlank(scan.current()))
    scan.copyCharacter(word);
  return word;
}

// Scans one argument from a non-blank byte to its ending blank or the end of
// the line; quote mode carries over between calls.
std::string argument(Scanner& scan, bool& quoteMode) {
  std::string word;
  for (;;) {
    std::size_t backslashes = 0;
    while (!scan.atEnd() && scan.current() == '\\') {
      ++backslashes;
      scan.step();
    }
    bool copyByte = true;
    if (!scan.atEnd() && scan.current() == '"') {
      if (backslashes % 2 == 0) {
        if (quoteMode && scan.nextIs('"')) {
          scan.step();
          quoteMode = false;
        } else {
          copyByte = false;
          quoteMode = !quoteMode;
        }
      }
      backslashes /= 2;
    }
    word.append(backslashes, '\\');
    if (scan.atEnd() || (!quoteMode && isBlank(scan.current()))) return word;
    if (copyByte) {
      scan.copyCharacter(word);
    } else {
      scan.step();
    }
  }
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view commandLine, LeadBytePredicate isLeadByte) {
  Scanner scan(commandLine, isLeadByte);
  std::vector<std::string> words{programName(scan)};
  bool quoteMode = false;
  for (;;) {
    while (!scan.atEnd() && isBlank(scan.current()))
      scan.step();
    if (scan.atEnd()) return words;
    words.push_back(argument(scan, quoteMode));
  }
}

}  // namespace quadrel
