// Cutting console input into lines, and taking a line into a name field.
//
// The reader is pure buffer logic over a byte source, so that every rule of
// the line cutting can be tried with scripted reads.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/platform.h"
#include "services/console/name_field.h"

namespace quadrel {

// Where the bytes come from: one call is one platform read.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual platform::TransferResult read(char* buffer, std::size_t size) = 0;
};

struct LineOutcome {
  enum class Kind {
    line,           // `line` holds the line, without its LF and one CR before it
    endMarker,      // the line was the single byte 0x1A
    noMoreData,     // a read delivered no bytes; an unfinished line is lost
    readError,      // a read failed with `error`
    recordTooLong,  // the buffer cannot grow, or a later read of a line ended short
  };
  Kind kind;
  std::string_view line{};  // valid until the next call
  platform::SystemError error = 0;
};

class LineReader {
 public:
  struct Limits {
    std::size_t initialCapacity = 256;
    // Stands for the memory that runs out: a line that would need a bigger
    // buffer is too long.
    std::size_t maximumCapacity = std::size_t{1} << 24;
  };

  // `shortReadIsTooLong`: a read other than the first of a line that ends
  // short without a line feed fails the line. Meant for sources where a
  // short read means the data has ended, not that more is still to come.
  LineReader(bool shortReadIsTooLong, Limits limits);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Takes the next line: from the bytes kept from earlier reads when they
  // hold a line feed, else by reading until one arrives, doubling the
  // buffer whenever a read fills it. Bytes behind the line feed are kept.
  LineOutcome nextLine(ByteSource& source);

 private:
  bool grow();
  LineOutcome takeLine(std::size_t lineFeed);

  bool shortReadIsTooLong_;
  Limits limits_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // first unconsumed byte
  std::size_t end_ = 0;    // one past the last byte read
};

// Stores the first 40 bytes of `line`, blank padded to 40, then 40 blanks.
void fillConsoleField(std::string_view line, NameField& field);

}  // namespace quadrel
