// Cutting console input into lines, and taking a line into a name field.
#include "services/console/line_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quadrel {
namespace {

constexpr std::size_t consoleFieldWidth = 40;
constexpr char endOfInputByte = 0x1A;

}  // namespace

LineReader::LineReader(bool shortReadIsTooLong, Limits limits)
    : shortReadIsTooLong_(shortReadIsTooLong), limits_(limits) {}

// Doubles the buffer (or makes the first one); false when that would pass
// the limit or no memory is left. The unconsumed bytes start at 0 here.
bool LineReader::grow() {
  const std::size_t wanted = capacity_ == 0 ? limits_.initialCapacity : capacity_ * 2;
  if (wanted == 0 || wanted > limits_.maximumCapacity || wanted < capacity_) return false;
  std::unique_ptr<char[]> bigger(new (std::nothrow) char[wanted]);
  if (!bigger) return false;
  std::copy_n(buffer_.get(), end_, bigger.get());
  buffer_ = std::move(bigger);
  capacity_ = wanted;
  return true;
}

LineOutcome LineReader::takeLine(std::size_t lineFeed) {
  std::string_view line(buffer_.get() + begin_, lineFeed - begin_);
  begin_ = lineFeed + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() == 1 && line[0] == endOfInputByte) return {LineOutcome::Kind::endMarker};
  return {LineOutcome::Kind::line, line};
}

LineOutcome LineReader::nextLine(ByteSource& source) {
  if (end_ > begin_) {
    char* const kept = buffer_.get() + begin_;
    if (const void* lineFeed = std::memchr(kept, '\n', end_ - begin_)) {
      return takeLine(static_cast<std::size_t>(static_cast<const char*>(lineFeed) - buffer_.get()));
    }
    std::memmove(buffer_.get(), kept, end_ - begin_);
  }
  end_ -= begin_;
  begin_ = 0;
  for (int reads = 1;; ++reads) {
    if (end_ == capacity_ && !grow()) return {LineOutcome::Kind::recordTooLong};
    const std::size_t space = capacity_ - end_;
    const platform::TransferResult got = source.read(buffer_.get() + end_, space);
    if (got.error != 0) return {LineOutcome::Kind::readError, {}, got.error};
    if (got.count == 0) return {LineOutcome::Kind::noMoreData};
    const void* lineFeed = std::memchr(buffer_.get() + end_, '\n', got.count);
    end_ += got.count;
    if (lineFeed != nullptr) {
      return takeLine(static_cast<std::size_t>(static_cast<const char*>(lineFeed) - buffer_.get()));
    }
    if (got.count < space && reads > 1 && shortReadIsTooLong_) return {LineOutcome::Kind::recordTooLong};
  }
}

void fillConsoleField(std::string_view line, NameField& field) {
  field.fill(' ');
  const std::size_t taken = std::min(line.size(), consoleFieldWidth);
  std::copy_n(line.begin(), taken, field.begin());
}

}  // namespace quadrel
