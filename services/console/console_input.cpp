// Unit 5, the console input unit: connects on the first read to standard
// input or to the file FORT5 names, and hands out one line per read.
#include "services/console/console_input.h"

#include <optional>
#include <string>

#include "platform/platform.h"
#include "services/console/console_replacement.h"
#include "services/console/line_reader.h"
#include "services/diagnostics/settings.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

struct ConsoleInputUnit : ConsoleConnection {
  ConsoleInputUnit() : ConsoleConnection(5, "CONIN$") {}
  bool pipe = false;  // the end of the data means the writer has gone
  std::optional<LineReader> reader;
};

// Never destroyed: an ending may close it at any moment until the exit
// (termination.h).
ConsoleInputUnit& consoleInput() {
  static ConsoleInputUnit* const unit = new ConsoleInputUnit();
  return *unit;
}

const EndingHooks consoleInputHooks{nullptr, [] { closeConsoleConnection(consoleInput()); }, nullptr,
                                    [] { closeConsoleConnectionAtOnce(consoleInput()); }};

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
  registerEndingHooks(5, consoleInputHooks);
  platform::HandleKind kind = platform::HandleKind::unknown;
  if (const std::optional<std::string> path = consoleReplacementName(consoleInputFileSetting())) {
    unit.record.fileName = *path;
    const platform::OpenResult opened = platform::openConsoleReplacement(*path, platform::OpenPurpose::read);
    if (opened.error != 0) failUnitCall(unit.record, openFailureStatus(opened.error), opened.error);
    unit.handle.store(opened.handle);
    unit.ownsHandle = true;
    kind = opened.kind;
  } else {
    unit.handle.store(platform::standardHandle(platform::StandardStream::input));
    kind = platform::kindOf(unit.handle.load());
  }
  unit.pipe = kind == platform::HandleKind::pipe;
  const bool arrivesInPieces = unit.pipe || kind == platform::HandleKind::terminal;
  unit.reader.emplace(!arrivesInPieces, LineReader::Limits{});
  unit.connected = true;
}

// Ends the run for a read that brought no line. The end of a pipe means
// its writer has gone.
[[noreturn]] void failRead(ConsoleInputUnit& unit, const LineOutcome& outcome) {
  switch (outcome.kind) {
    case LineOutcome::Kind::readError:
      failUnitCall(unit.record, status::errorDuringRead, outcome.error);
    case LineOutcome::Kind::noMoreData:
      if (unit.pipe) failUnitCall(unit.record, status::errorDuringRead, platform::brokenPipeError());
      break;
    case LineOutcome::Kind::recordTooLong:
      failUnit(unit.record, status::inputRecordTooLong);
    case LineOutcome::Kind::endMarker:
    case LineOutcome::Kind::line:
      break;
  }
  failUnit(unit.record, status::endOfFileDuringRead);
}

}  // namespace

void readConsoleLine(NameField& field) {
  ConsoleInputUnit& unit = consoleInput();
  if (!unit.connected) connect(unit);
  HandleSource source(unit.handle.load());
  const LineOutcome outcome = unit.reader->nextLine(source);
  if (outcome.kind != LineOutcome::Kind::line) failRead(unit, outcome);
  fillConsoleField(outcome.line, field);
}

}  // namespace quadrel
