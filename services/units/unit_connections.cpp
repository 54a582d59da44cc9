// Connecting and disconnecting binary units: open, rewind, close, and the
// closing of every unit when the process ends.
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <string>

#include "services/diagnostics/open_failure_status.h"
#include "services/diagnostics/report.h"
#include "services/units/name_resolution.h"
#include "services/units/unit_table.h"

namespace quadrel {
namespace {

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
bool conflictsWithOpenUnit(const BinaryUnit& opening, platform::Handle handle) {
  for (int number : unitNumbers) {
    const BinaryUnit& other = binaryUnit(number);
    if (&other == &opening || !other.connected || other.standardHandle) continue;
    const bool writing = opening.direction == UnitAction::write || other.direction == UnitAction::write;
    if (writing && platform::sameFile(handle, other.handle.load(std::memory_order_relaxed))) return true;
  }
  return false;
}

std::unique_ptr<std::byte[]> allocate(BinaryUnit& unit, std::size_t size) {
  std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[size]);
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
    unit.staging = allocate(unit, requestStagingSize);
    unit.stagingCapacity = requestStagingSize;
    if (unit.disk) unit.gatherStorage = allocate(unit, gatherSize);
  }
  unit.handle.store(handle, std::memory_order_release);
  unit.published.store(0, std::memory_order_release);
  unit.fileOffset.store(0, std::memory_order_release);
  unit.cutPending.store(unit.disk, std::memory_order_release);
  unit.gathered.store(unit.gatherStorage.get(), std::memory_order_release);
  unit.connected = true;
}

void releaseBuffers(BinaryUnit& unit) {
  unit.gathered.store(nullptr, std::memory_order_release);
  unit.published.store(0, std::memory_order_release);
  unit.cutPending.store(false, std::memory_order_release);
  unit.fetchBuffer.reset();
  unit.staging.reset();
  unit.stagingCapacity = 0;
  unit.gatherStorage.reset();
  unit.unconsumed = 0;
}

// Closes a connected unit: gathered requests reach the file, nothing else
// is written, the file is not cut. Fails with 38 or 28.
void closeConnected(BinaryUnit& unit) {
  if (!unit.connected) return;
  if (unit.gathered.load(std::memory_order_relaxed) != nullptr) flushOrFail(unit);
  const platform::Handle handle = unit.handle.load(std::memory_order_relaxed);
  const bool closesHandle = !unit.standardHandle;
  releaseBuffers(unit);
  unit.handle.store(platform::noHandle, std::memory_order_release);
  unit.connected = false;
  if (closesHandle) {
    if (platform::SystemError error = platform::closeHandle(handle); error != 0) {
      unit.record.savedSystemError = error;
      failUnit(unit.record, status::closeError);
    }
  }
  unit.record.fileName.reset();
}

}  // namespace

void openUnit(int number, std::string_view nameField, OpenParameters parameters) {
  BinaryUnit& unit = unitForOperation(number);
  std::lock_guard lock(unit.record.inUse);
  closeConnected(unit);

  const ResolvedName name = resolveName(nameField);
  unit.record.fileName = name.fileName;
  unit.record.savedSystemError = 0;
  unit.direction = parameters.action;

  platform::Handle handle = platform::noHandle;
  if (name.console) {
    handle = platform::standardHandle(streamOf(*name.console));
  } else {
    const platform::OpenPurpose purpose =
        parameters.action == UnitAction::read ? platform::OpenPurpose::read : platform::OpenPurpose::write;
    const platform::OpenResult opened = platform::openFile(name.openPath, purpose);
    if (opened.error != 0) {
      unit.record.savedSystemError = opened.error;
      failUnit(unit.record, openFailureStatus(opened.error));
    }
    handle = opened.handle;
    if (conflictsWithOpenUnit(unit, handle)) {
      platform::closeHandle(handle);
      unit.record.savedSystemError = platform::sharingViolationError();
      failUnit(unit.record, status::openFailure);
    }
  }
  unit.standardHandle = name.console.has_value();
  unit.disk = !name.device && platform::kindOf(handle) == platform::HandleKind::disk;

  // Chosen after the file was opened or created; a refusal leaves it so.
  unit.order = {};
  if (std::optional<std::string> value =
          platform::environmentValue("FORT_CONVERT" + std::to_string(number))) {
    std::optional<ByteOrderSettings> order = parseByteOrder(*value);
    if (!order) failUnit(unit.record, status::inconsistentOpenClose);
    unit.order = *order;
  }
  connect(unit, handle);
}

void rewindUnit(int number) {
  BinaryUnit& unit = unitForOperation(number);
  std::lock_guard lock(unit.record.inUse);
  if (!unit.connected) return;
  if (unit.gathered.load(std::memory_order_relaxed) != nullptr) flushOrFail(unit);
  // Only a disk file has a position; a pipe or a console has nothing to
  // move back to.
  if (unit.disk) {
    if (platform::SystemError error = platform::rewind(unit.handle.load(std::memory_order_relaxed));
        error != 0) {
      unit.record.savedSystemError = error;
      failUnit(unit.record, status::rewindError);
    }
  }
  unit.nextByte = 0;
  unit.unconsumed = 0;
  unit.fetchedTotal = 0;
  unit.fileOffset.store(0, std::memory_order_release);
  unit.firstRequestEnd = noRequestYet;
  unit.cutPending.store(unit.disk, std::memory_order_release);
}

void closeUnit(int number) {
  BinaryUnit& unit = unitForOperation(number);
  std::lock_guard lock(unit.record.inUse);
  closeConnected(unit);
}

void closeBinaryUnitsAtExit() {
  static std::atomic<bool> closingRan{false};
  if (closingRan.exchange(true)) return;
  for (int number : unitNumbers) {
    BinaryUnit& unit = binaryUnit(number);
    // Only gathered output is worth waiting for: the operation in progress
    // ends soon and its completed requests must reach the file. An input in
    // use, perhaps blocked reading a pipe, is skipped at once.
    const bool holdsOutput = unit.gathered.load(std::memory_order_acquire) != nullptr;
    const auto patience = holdsOutput ? std::chrono::milliseconds(2000) : std::chrono::milliseconds(0);
    std::unique_lock lock(unit.record.inUse, std::defer_lock);
    if (!lock.try_lock_for(patience)) continue;
    closeConnected(unit);
  }
}

}  // namespace quadrel
