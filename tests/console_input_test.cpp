// Cutting console input into lines over scripted reads, and taking a line
// into a name field.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "services/console/line_reader.h"

namespace quadrel {
namespace {

// Each read hands out the next chunk, cut to the size asked for (the rest
// stays first in line), or fails with the chunk's error. No chunks left
// means the end of the data.
class ScriptedSource final : public ByteSource {
 public:
  struct Chunk {
    std::string bytes;
    platform::SystemError error = 0;
  };
  explicit ScriptedSource(std::vector<Chunk> chunks) : chunks_(chunks.begin(), chunks.end()) {}

  platform::TransferResult read(char* buffer, std::size_t size) override {
    sizesAsked.push_back(size);
    if (chunks_.empty()) return {};
    Chunk& next = chunks_.front();
    if (next.error != 0) return {0, next.error};
    const std::size_t count = std::min(size, next.bytes.size());
    std::copy_n(next.bytes.begin(), count, buffer);
    next.bytes.erase(0, count);
    if (next.bytes.empty()) chunks_.pop_front();
    return {count, 0};
  }

  std::vector<std::size_t> sizesAsked;

 private:
  std::deque<Chunk> chunks_;
};

using Kind = LineOutcome::Kind;

std::vector<std::string> linesOf(ScriptedSource& source, LineReader& reader, Kind& last) {
  std::vector<std::string> lines;
  for (;;) {
    LineOutcome outcome = reader.nextLine(source);
    last = outcome.kind;
    if (outcome.kind != Kind::line) return lines;
    lines.emplace_back(outcome.line);
  }
}

TEST(ConsoleLines, LineEndsAndTheEndMarker) {
  struct Case {
    const char* what;
    std::string input;
    std::vector<std::string> lines;
    Kind end;
  };
  const Case cases[] = {
      {"LF", "a.wav\nb.wav\n", {"a.wav", "b.wav"}, Kind::noMoreData},
      {"CR LF", "a.wav\r\nb.wav\r\n", {"a.wav", "b.wav"}, Kind::noMoreData},
      {"CR CR LF keeps one CR", "a\r\r\n", {"a\r"}, Kind::noMoreData},
      {"lone CR is data", "a\rb\n", {"a\rb"}, Kind::noMoreData},
      {"unfinished last line is lost", "a\nb", {"a"}, Kind::noMoreData},
      {"empty lines", "\n\r\n", {"", ""}, Kind::noMoreData},
      {"0x1A alone ends the input", "a\n\x1A\nb\n", {"a"}, Kind::endMarker},
      {"0x1A CR LF ends the input", "\x1A\r\n", {}, Kind::endMarker},
      {"0x1A among other bytes is data", "\x1A\x1A\n \x1A\n", {"\x1A\x1A", " \x1A"}, Kind::noMoreData},
      {"blanks, tabs, NULs are data",
       std::string("  a,\t'\"\0 \n", 10),
       {std::string("  a,\t'\"\0 ", 9)},
       Kind::noMoreData},
  };
  for (const Case& c : cases) {
    ScriptedSource source({{c.input}});
    LineReader reader(true, {});
    Kind end{};
    EXPECT_EQ(linesOf(source, reader, end), c.lines) << c.what;
    EXPECT_EQ(end, c.end) << c.what;
  }
}

TEST(ConsoleLines, BytesBehindALineWaitForTheNextRead) {
  ScriptedSource source({{"one\nthre"}, {"e\nsix\n"}});
  LineReader reader(true, {8, 64});
  Kind end{};
  EXPECT_EQ(linesOf(source, reader, end), (std::vector<std::string>{"one", "three", "six"}));
  // The first read fills the buffer; "thre" moves to the front and the next
  // read goes into the 4 bytes behind it, bringing "e\nsi"; "si" moves in
  // turn and waits for the rest of its line.
  EXPECT_EQ(source.sizesAsked, (std::vector<std::size_t>{8, 4, 6, 8}));
}

TEST(ConsoleLines, BufferDoublesWhenAReadFillsIt) {
  const std::string longLine(600, 'x');
  ScriptedSource source({{longLine + "\nnext\n"}});
  LineReader reader(true, {});
  Kind end{};
  EXPECT_EQ(linesOf(source, reader, end), (std::vector<std::string>{longLine, "next"}));
  EXPECT_EQ(source.sizesAsked, (std::vector<std::size_t>{256, 256, 512, 1024}));
}

// A failed read, a buffer at its limit, and a later short read of a line
// where short reads mean the end of the data, all bring no line.
TEST(ConsoleLines, ReadsThatBringNoLine) {
  struct Case {
    const char* what;
    std::vector<ScriptedSource::Chunk> chunks;
    bool shortReadIsTooLong;
    Kind kind;
    std::string_view line = {};
  };
  const Case cases[] = {
      {"read error", {{"abc"}, {"", 5}}, true, Kind::readError},
      {"limit", {{std::string(40, 'x')}}, true, Kind::recordTooLong},
      {"later short read", {{"ab"}, {"cd"}, {"ef\n"}}, true, Kind::recordTooLong},
      {"pieces where short reads are normal", {{"ab"}, {"cd"}, {"ef\n"}}, false, Kind::line, "abcdef"},
      {"first short read", {{"ab"}, {"c\n"}}, true, Kind::line, "abc"},
  };
  for (const Case& c : cases) {
    ScriptedSource source(c.chunks);
    LineReader reader(c.shortReadIsTooLong, {8, 32});
    const LineOutcome outcome = reader.nextLine(source);
    EXPECT_EQ(outcome.kind, c.kind) << c.what;
    EXPECT_EQ(outcome.error, c.kind == Kind::readError ? 5u : 0u) << c.what;
    EXPECT_EQ(outcome.line, c.line) << c.what;
  }
}

TEST(ConsoleField, FirstFortyBytesThenBlanks) {
  struct Case {
    std::string line;
    std::string field;
  };
  const Case cases[] = {
      {"", std::string(80, ' ')},
      {"in.wav", "in.wav" + std::string(74, ' ')},
      {"   in.wav", "   in.wav" + std::string(71, ' ')},
      {std::string(40, 'a'), std::string(40, 'a') + std::string(40, ' ')},
      {std::string(40, 'a') + std::string(10, 'b'), std::string(40, 'a') + std::string(40, ' ')},
  };
  for (const Case& c : cases) {
    NameField field;
    field.fill('#');
    fillConsoleField(c.line, field);
    EXPECT_EQ(asText(field), c.field) << c.line;
  }
}

}  // namespace
}  // namespace quadrel
