// Unit 6, the console output unit: connects on first use, writes each
// record with one platform write, and holds nothing back between calls.
#include "services/console/output_records.h"

#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/console/console_replacement.h"
#include "services/console/record_format.h"
#include "services/diagnostics/progress.h"
#include "services/diagnostics/settings.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

// Named "CONOUT$" in every report, also when FORT6 puts a file in its place.
struct ConsoleOutputUnit : ConsoleConnection {
  ConsoleOutputUnit() : ConsoleConnection(6, "CONOUT$") {}
};

// Never destroyed: an ending may close it at any moment until the exit
// (termination.h).
ConsoleOutputUnit& consoleOutput() {
  static ConsoleOutputUnit* const unit = new ConsoleOutputUnit();
  return *unit;
}

const EndingHooks consoleOutputHooks{nullptr, [] { closeConsoleConnection(consoleOutput()); }, nullptr,
                                     [] { closeConsoleConnectionAtOnce(consoleOutput()); }};

// Takes standard output, or the file FORT6 names at this moment. A file
// that cannot be opened is reported for unit 6 and the unit stays
// unconnected.
void connect(ConsoleOutputUnit& unit) {
  registerEndingHooks(6, consoleOutputHooks);
  const std::optional<std::string> path = consoleReplacementName(consoleOutputFileSetting());
  if (!path) {
    unit.handle.store(platform::standardHandle(platform::StandardStream::output));
    unit.connected = true;
    return;
  }
  const platform::OpenResult opened = platform::openConsoleReplacement(*path, platform::OpenPurpose::write);
  if (opened.error != 0) failUnitCall(unit.record, openFailureStatus(opened.error), opened.error);
  unit.handle.store(opened.handle);
  unit.ownsHandle = true;
  unit.connected = true;
}

void writeRecords(const std::vector<std::string>& records) {
  // Completed output reaches its files first, so that a failing write is
  // reported before any later record (such as the completion record) can
  // claim success; the progress line goes before the record comes.
  saveCompletedOutput();
  ConsoleOutputUnit& unit = consoleOutput();
  if (!unit.connected) connect(unit);
  eraseProgressLine();
  for (const std::string& record : records) {
    const platform::TransferResult written =
        platform::writeAll(unit.handle.load(), record.data(), record.size());
    if (written.error != 0) failUnitCall(unit.record, status::errorDuringWrite, written.error);
  }
}

}  // namespace

void writeLayoutRecord(std::initializer_list<LayoutItem> layout) {
  writeRecords(buildLayoutRecords(std::span<const LayoutItem>(layout.begin(), layout.size())));
}

void writeValueListRecord(std::initializer_list<ListValue> values) {
  writeRecords(buildValueListRecords(std::span<const ListValue>(values.begin(), values.size())));
}

}  // namespace quadrel
