// Unit 6, the console output unit: connects on first use, writes each
// record with one platform write, and holds nothing back between calls.
#include "services/console/output_records.h"

#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/console/console_replacement.h"
#include "services/console/record_format.h"
#include "services/diagnostics/report.h"
#include "services/diagnostics/unit_record.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

struct ConsoleOutputUnit : ConsoleConnection {
  ConsoleOutputUnit() : ConsoleConnection(6, "CONOUT$") {}
};

// Never destroyed: the console control thread may close it while the
// process is already ending.
ConsoleOutputUnit& consoleOutput() {
  static ConsoleOutputUnit* const unit = new ConsoleOutputUnit();
  return *unit;
}

// Takes standard output, or the file FORT6 names at this moment. A file
// that cannot be opened is reported for unit 6 under its own name and the
// unit stays unconnected.
void connect(ConsoleOutputUnit& unit) {
  const std::optional<std::string> path = consoleReplacementName("FORT6");
  if (!path) {
    unit.handle = platform::standardHandle(platform::StandardStream::output);
    unit.connected = true;
    return;
  }
  unit.record.fileName = *path;
  const platform::OpenResult opened = platform::openConsoleReplacement(*path, platform::OpenPurpose::write);
  if (opened.error != 0) {
    unit.record.savedSystemError = opened.error;
    failUnit(unit.record, openFailureStatus(opened.error));
  }
  unit.handle = opened.handle;
  unit.ownsHandle = true;
  unit.connected = true;
}

void writeRecords(const std::vector<std::string>& records) {
  // Output gathered on the binary units reaches its files first, so that a
  // failing write is reported before any later record (such as the
  // completion record) can claim success.
  flushBinaryUnits();
  ConsoleOutputUnit& unit = consoleOutput();
  std::lock_guard<std::recursive_timed_mutex> inUse(unit.record.inUse);
  // The process is ending on another thread; this one must not go on.
  if (unit.closedAtExit) platform::parkForever();
  if (!unit.connected) connect(unit);
  for (const std::string& record : records) {
    const platform::TransferResult written = platform::writeAll(unit.handle, record.data(), record.size());
    if (written.error != 0) {
      unit.record.savedSystemError = written.error;
      failUnit(unit.record, status::errorDuringWrite);
    }
  }
}

}  // namespace

void writeLayoutRecord(std::initializer_list<LayoutItem> layout) {
  writeRecords(buildLayoutRecords(std::span<const LayoutItem>(layout.begin(), layout.size())));
}

void writeValueListRecord(std::initializer_list<ListValue> values) {
  writeRecords(buildValueListRecords(std::span<const ListValue>(values.begin(), values.size())));
}

void closeConsoleOutputAtExit() { closeConsoleConnectionAtExit(consoleOutput()); }

}  // namespace quadrel
