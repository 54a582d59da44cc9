// Fuzz target: cutting console input into lines and filling name fields.
//
// The input is a small script followed by the stream: the first byte sets
// the reader's options (whether a later short read of a line is too long,
// the initial and largest buffer, whether the source ends in a read error),
// the next eight bytes are the sizes of successive reads, cycled. The
// reader must hand out exactly the lines of a plain model of the stream (cut
// at each LF, one CR before it dropped) until it stops, and stop with the
// model's reason unless the buffer limit or a short read stopped it first.
// Every line must fill its name field as its first 40 bytes, blanks to 40,
// then 40 blanks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "services/console/line_reader.h"

namespace {

using quadrel::LineOutcome;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t scriptLength = 9;

// Hands the stream out in reads of the scripted sizes (0 counts as 1).
class ScriptedSource : public quadrel::ByteSource {
 public:
  ScriptedSource(std::string_view stream, const std::uint8_t* sizes, bool endsInError)
      : stream_(stream), sizes_(sizes), endsInError_(endsInError) {}

  quadrel::platform::TransferResult read(char* buffer, std::size_t size) override {
    require(size > 0);
    if (at_ == stream_.size()) return {0, endsInError_ ? 5u : 0u};
    const std::size_t wanted = std::max<std::size_t>(1, sizes_[reads_++ % 8]);
    const std::size_t count = std::min({size, wanted, stream_.size() - at_});
    std::memcpy(buffer, stream_.data() + at_, count);
    at_ += count;
    return {count, 0};
  }

 private:
  std::string_view stream_;
  const std::uint8_t* sizes_;
  bool endsInError_;
  std::size_t at_ = 0;
  std::size_t reads_ = 0;
};

void requireConsoleField(std::string_view line) {
  quadrel::NameField field;
  field.fill('\x7F');
  quadrel::fillConsoleField(line, field);
  const std::size_t taken = std::min<std::size_t>(line.size(), 40);
  require(std::memcmp(field.data(), line.data(), taken) == 0);
  require(std::all_of(field.begin() + static_cast<std::ptrdiff_t>(taken), field.end(),
                      [](char byte) { return byte == ' '; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < scriptLength) return 0;
  const std::uint8_t options = data[0];
  const std::string_view stream(reinterpret_cast<const char*>(data) + scriptLength, size - scriptLength);
  const bool shortReadIsTooLong = (options & 1) != 0;
  const bool endsInError = (options & 2) != 0;
  quadrel::LineReader::Limits limits;
  limits.initialCapacity = std::size_t{1} << ((options >> 2) & 3);   // 1 to 8
  limits.maximumCapacity = std::size_t{16} << ((options >> 4) & 7);  // 16 to 2048
  quadrel::LineReader reader(shortReadIsTooLong, limits);
  ScriptedSource source(stream, data + 1, endsInError);

  std::size_t at = 0;
  for (;;) {
    const LineOutcome outcome = reader.nextLine(source);
    const std::size_t lineFeed = stream.find('\n', at);
    if (outcome.kind == LineOutcome::Kind::recordTooLong) {
      // Only a line that fills the largest buffer without its LF, or one
      // whose later read came back short, may be refused.
      const std::size_t length = (lineFeed == std::string_view::npos ? stream.size() : lineFeed) - at;
      require(shortReadIsTooLong || length >= limits.maximumCapacity);
      return 0;
    }
    if (lineFeed == std::string_view::npos) {
      require(outcome.kind == (endsInError ? LineOutcome::Kind::readError : LineOutcome::Kind::noMoreData));
      return 0;
    }
    std::string_view expected = stream.substr(at, lineFeed - at);
    if (!expected.empty() && expected.back() == '\r') expected.remove_suffix(1);
    at = lineFeed + 1;
    if (expected == "\x1A") {
      require(outcome.kind == LineOutcome::Kind::endMarker);
      continue;
    }
    require(outcome.kind == LineOutcome::Kind::line && outcome.line == expected);
    requireConsoleField(outcome.line);
  }
}
