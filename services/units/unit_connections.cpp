// Connecting and disconnecting binary units: open, rewind, close, and the
// closing of every unit when the process ends.
#include <new>
#include <string>

#include "services/diagnostics/settings.h"
#include "services/diagnostics/termination.h"
#include "services/units/name_resolution.h"
#include "services/units/unit_table.h"

namespace quadrel {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr auto release = std::memory_order_release;

platform::StandardStream streamOf(ConsoleDevice device) {
  switch (device) {
    case ConsoleDevice::standardInput:
      return platform::StandardStream::input;
    case ConsoleDevice::standardOutput:
      return platform::StandardStream::output;
    case ConsoleDevice::standardError:
      break;
  }
  return platform::StandardStream::error;
}

// The sharing rule inside this process: a file written through one unit
// is not open through another.
bool conflictsWithOpenUnit(const BinaryUnit& opening, const platform::FileIdentity& identity) {
  for (int number : unitNumbers) {
    const BinaryUnit& other = binaryUnit(number);
    if (&other == &opening || !other.connected || other.standardHandle) continue;
    const bool writing = opening.direction == UnitAction::write || other.direction == UnitAction::write;
    if (writing && identity.sameFileAs(other.identity)) return true;
  }
  return false;
}

TransferBuffer allocate(BinaryUnit& unit, std::size_t size) {
  TransferBuffer buffer = newTransferBuffer(size);
  if (!buffer) failUnit(unit.record, status::insufficientMemory);
  return buffer;
}

// The unit's buffers and state for reading or writing the open `handle`.
void connect(BinaryUnit& unit, platform::Handle handle) {
  unit.nextByte = 0;
  unit.unconsumed = 0;
  unit.fetchedTotal = 0;
  unit.firstRequestEnd = noRequestYet;
  if (unit.direction == UnitAction::read) {
    unit.fetchBuffer = allocate(unit, fetchSize);
  } else {
    unit.staging.reset(new (std::nothrow) std::byte[requestStagingSize]);
    if (!unit.staging) failUnit(unit.record, status::insufficientMemory);
    unit.stagingCapacity = requestStagingSize;
    if (unit.disk) unit.gatherStorage = allocate(unit, gatherSize);
  }
  unit.handle.store(handle, release);
  unit.published.store(0, release);
  unit.fileOffset.store(0, release);
  unit.cutPending.store(unit.disk, release);
  unit.gathered.store(unit.gatherStorage.get(), release);
  unit.connected = true;
}

// Closes a connected unit: gathered requests reach the file, nothing else
// is written, the file is not cut. Fails with 38 or 28.
void closeConnected(BinaryUnit& unit) {
  if (!unit.connected) return;
  if (unit.gathered.load(relaxed) != nullptr) flushOrFail(unit);
  // Nothing of the unit is left for an ending at once to write before the
  // buffers go; the handle is taken from the table before it is closed
  // (termination.h).
  unit.gathered.store(nullptr, release);
  unit.published.store(0, release);
  unit.cutPending.store(false, release);
  unit.fetchBuffer.reset();
  unit.staging.reset();
  unit.stagingCapacity = 0;
  unit.gatherStorage.reset();
  unit.spareStorage.reset();
  unit.unconsumed = 0;
  unit.fetchedTotal = 0;
  unit.connected = false;
  const platform::Handle handle = unit.handle.exchange(platform::noHandle);
  if (!unit.standardHandle && handle != platform::noHandle) {
    if (const platform::SystemError error = platform::closeHandle(handle); error != 0) {
      failUnitCall(unit.record, status::closeError, error);
    }
  }
  unit.record.fileName.reset();
}

void closeBinaryUnits() {
  for (int number : unitNumbers)
    closeConnected(binaryUnit(number));
}

const EndingHooks binaryUnitHooks{saveBinaryUnits, closeBinaryUnits, saveBinaryUnitsAtOnce,
                                  closeBinaryUnitsAtOnce};

}  // namespace

void openUnit(int number, std::string_view nameField, UnitAction action) {
  registerEndingHooks(unitNumbers[0], binaryUnitHooks);
  BinaryUnit& unit = binaryUnit(number);
  closeConnected(unit);

  const ResolvedName name = resolveName(nameField);
  unit.record.fileName = name.fileName;
  unit.record.savedSystemError = 0;
  unit.direction = action;

  platform::Handle handle = platform::noHandle;
  unit.disk = false;
  unit.sized = false;
  unit.startOffset = 0;
  unit.copyRefused = false;
  unit.identity = {};
  if (name.console) {
    handle = platform::standardHandle(streamOf(*name.console));
    // Standard input redirected from a regular file has a length, counted
    // from where the file stands.
    if (action == UnitAction::read && platform::kindOf(handle) == platform::HandleKind::disk) {
      const std::optional<std::int64_t> position = platform::positionOf(handle);
      unit.sized = position.has_value();
      unit.startOffset = position.value_or(0);
    }
  } else {
    const platform::OpenPurpose purpose =
        action == UnitAction::read ? platform::OpenPurpose::read : platform::OpenPurpose::write;
    const platform::OpenResult opened = platform::openFile(name.openPath, purpose);
    if (opened.error != 0) failUnitCall(unit.record, openFailureStatus(opened.error), opened.error);
    if (conflictsWithOpenUnit(unit, opened.identity)) {
      platform::closeHandle(opened.handle);
      failUnitCall(unit.record, status::openFailure, platform::sharingViolationError());
    }
    handle = opened.handle;
    unit.disk = !name.device && opened.kind == platform::HandleKind::disk;
    unit.sized = unit.disk && action == UnitAction::read;
    unit.identity = opened.identity;
  }
  unit.standardHandle = name.console.has_value();

  // Chosen after the file was opened or created; a refusal leaves it so.
  unit.order = {};
  if (std::optional<std::string> value = byteOrderSetting(number)) {
    std::optional<ByteOrderSettings> order = parseByteOrder(*value);
    if (!order) failUnit(unit.record, status::inconsistentOpenClose);
    unit.order = *order;
  }
  connect(unit, handle);
}

void rewindUnit(int number) {
  BinaryUnit& unit = binaryUnit(number);
  if (!unit.connected) return;
  if (unit.gathered.load(relaxed) != nullptr) flushOrFail(unit);
  // Only a disk file has a position; a pipe or a console has nothing to
  // move back to.
  if (unit.disk) {
    if (const platform::SystemError error = platform::rewind(unit.handle.load(relaxed)); error != 0) {
      failUnitCall(unit.record, status::rewindError, error);
    }
  }
  unit.nextByte = 0;
  unit.unconsumed = 0;
  unit.fetchedTotal = 0;
  unit.fileOffset.store(0, release);
  unit.firstRequestEnd = noRequestYet;
  unit.cutPending.store(unit.disk, release);
}

void closeUnit(int number) { closeConnected(binaryUnit(number)); }

void closeBinaryUnitsAtOnce() {
  for (int number : unitNumbers) {
    BinaryUnit& unit = binaryUnit(number);
    if (unit.standardHandle) continue;
    const platform::Handle handle = unit.handle.exchange(platform::noHandle);
    if (handle != platform::noHandle) platform::closeHandle(handle);
  }
}

const ByteOrderSettings& byteOrderOf(int number) { return binaryUnit(number).order; }

}  // namespace quadrel
