// Unit 5, the console input unit: connects on the first read to standard
// input or to the file FORT5 names, and hands out one line per read.
#include "services/console/console_input.h"

#include <mutex>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "services/console/console_replacement.h"
#include "services/console/line_reader.h"
#include "services/diagnostics/report.h"
#include "services/diagnostics/unit_record.h"

namespace quadrel {
namespace {

struct ConsoleInputUnit : ConsoleConnection {
  ConsoleInputUnit() : ConsoleConnection(5, "CONIN$") {}
  bool pipe = false;  // the end of the data means the writer has gone
  std::optional<LineReader> reader;
};

// Never destroyed: the console control thread may close it while the
// process is already ending.
ConsoleInputUnit& consoleInput() {
  static ConsoleInputUnit* const unit = new ConsoleInputUnit();
  return *unit;
}

class HandleSource final : public ByteSource {
 public:
  explicit HandleSource(platform::Handle handle) : handle_(handle) {}
  platform::TransferResult read(char* buffer, std::size_t size) override {
    return platform::readSome(handle_, buffer, size);
  }

 private:
  platform::Handle handle_;
};

// Takes the file FORT5 names, or standard input. A file that cannot be
// opened is reported for unit 5 under its own name and the unit stays
// unconnected.
//
// A pipe or a terminal hands over what has arrived so far, so a short read
// there says nothing about the length of the line: the rule that a later
// short read of a line makes it too long applies only to other sources,
// where a short read means the data has ended.
void connect(ConsoleInputUnit& unit) {
  if (const std::optional<std::string> path = consoleReplacementName("FORT5")) {
    unit.record.fileName = *path;
    const platform::OpenResult opened = platform::openConsoleReplacement(*path, platform::OpenPurpose::read);
    if (opened.error != 0) {
      unit.record.savedSystemError = opened.error;
      failUnit(unit.record, openFailureStatus(opened.error));
    }
    unit.handle = opened.handle;
    unit.ownsHandle = true;
  } else {
    unit.handle = platform::standardHandle(platform::StandardStream::input);
  }
  const platform::HandleKind kind = platform::kindOf(unit.handle);
  unit.pipe = kind == platform::HandleKind::pipe;
  const bool arrivesInPieces = unit.pipe || kind == platform::HandleKind::terminal;
  unit.reader.emplace(!arrivesInPieces, LineReader::Limits{});
  unit.connected = true;
}

// The entry for a read that brought no line, with the system error saved
// where one belongs. The end of a pipe means its writer has gone.
StatusCode readFailure(ConsoleInputUnit& unit, const LineOutcome& outcome) {
  switch (outcome.kind) {
    case LineOutcome::Kind::readError:
      unit.record.savedSystemError = outcome.error;
      return status::errorDuringRead;
    case LineOutcome::Kind::noMoreData:
      if (!unit.pipe) return status::endOfFileDuringRead;
      unit.record.savedSystemError = platform::brokenPipeError();
      return status::errorDuringRead;
    case LineOutcome::Kind::recordTooLong:
      return status::inputRecordTooLong;
    case LineOutcome::Kind::endMarker:
    case LineOutcome::Kind::line:
      break;
  }
  return status::endOfFileDuringRead;
}

}  // namespace

void readConsoleLine(NameField& field) {
  ConsoleInputUnit& unit = consoleInput();
  std::lock_guard<std::recursive_timed_mutex> inUse(unit.record.inUse);
  // The process is ending on another thread; this one must not go on.
  if (unit.closedAtExit) platform::parkForever();
  if (!unit.connected) connect(unit);
  HandleSource source(unit.handle);
  const LineOutcome outcome = unit.reader->nextLine(source);
  if (outcome.kind != LineOutcome::Kind::line) failUnit(unit.record, readFailure(unit, outcome));
  fillConsoleField(outcome.line, field);
}

void closeConsoleInputAtExit() { closeConsoleConnectionAtExit(consoleInput()); }

}  // namespace quadrel
