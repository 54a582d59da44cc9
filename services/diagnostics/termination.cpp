// The ending: the steps that owners of files register, one closing, one
// exit, and the two endings that come from outside the driver.
#include "services/diagnostics/termination.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>

#include "services/diagnostics/progress.h"
#include "services/diagnostics/reports.h"

namespace quadrel {
namespace {

// A small fixed table of atomic slots: the endings at once walk it from a
// signal handler, where nothing may be allocated or locked. The order of
// its stores is one of the rules in termination.h.
constexpr std::size_t slotCount = 4;

struct HookSlot {
  int order = 0;  // written before `hooks` is published
  std::atomic<const EndingHooks*> hooks{nullptr};
};

HookSlot slots[slotCount];
std::atomic<std::size_t> slotsTaken{0};

static_assert(std::atomic<const EndingHooks*>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);

// Set by the one ordinary closing. A severe report made by a close ends the
// process from inside that closing, which must not start over.
std::atomic<bool> closingRan{false};

// Set while the owner thread saves the output: a failure reported by the
// saving makes a report, which would save again.
bool savingOutput = false;

std::atomic<bool> ignoreExceptions{false};

// Calls `step` with the hooks of every registered owner, in ascending
// order, ties in the order of registration. The slots are few: one pass
// over them finds each next owner.
void forEachOwner(void (*step)(const EndingHooks&)) {
  const std::size_t taken = std::min(slotsTaken.load(std::memory_order_acquire), slotCount);
  const auto keyOf = [](std::size_t slot) {
    return static_cast<long long>(slots[slot].order) * static_cast<long long>(slotCount) +
           static_cast<long long>(slot);
  };
  long long last = LLONG_MIN;
  for (;;) {
    const EndingHooks* next = nullptr;
    long long nextKey = LLONG_MAX;
    for (std::size_t slot = 0; slot < taken; ++slot) {
      const EndingHooks* hooks = slots[slot].hooks.load(std::memory_order_acquire);
      if (hooks != nullptr && keyOf(slot) > last && keyOf(slot) < nextKey) {
        next = hooks;
        nextKey = keyOf(slot);
      }
    }
    if (next == nullptr) return;
    step(*next);
    last = nextKey;
  }
}

void saveAtOnce() {
  forEachOwner([](const EndingHooks& hooks) {
    if (hooks.saveOutputAtOnce != nullptr) hooks.saveOutputAtOnce();
  });
}

void closeAtOnce() {
  forEachOwner([](const EndingHooks& hooks) { hooks.closeAtOnce(); });
}

// An ending from outside the driver may find the owner thread anywhere.
// On the owner thread it has interrupted it; from another thread it stops
// it first, after making the error stream ready, as that may need memory
// that the stopped thread might have been allocating.
void takeOwnerOutOfPlay(bool reports) {
  if (platform::onOwnerThread()) return;
  if (reports) prepareErrorStream();
  platform::stopOwnerThread();
}

}  // namespace

void registerEndingHooks(int order, const EndingHooks& hooks) {
  const std::size_t taken = slotsTaken.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < taken; ++i) {
    if (slots[i].hooks.load(std::memory_order_relaxed) == &hooks) return;
  }
  if (taken == slotCount) return;
  slots[taken].order = order;
  slots[taken].hooks.store(&hooks, std::memory_order_release);
  slotsTaken.store(taken + 1, std::memory_order_release);
}

void saveCompletedOutput() {
  if (savingOutput) return;
  savingOutput = true;
  forEachOwner([](const EndingHooks& hooks) {
    if (hooks.saveOutput != nullptr) hooks.saveOutput();
  });
  savingOutput = false;
}

void endProcess(std::uint32_t status) {
  // Ended before the closing: a close writes what is gathered, which would
  // draw the line again.
  finishProgress();
  if (!closingRan.exchange(true)) forEachOwner([](const EndingHooks& hooks) { hooks.close(); });
  platform::exitProcess(status);
}

void stopRun() { endProcess(0); }

void endProgram() { endProcess(0); }

void onConsoleControl(int event) {
  const FixedReport report = controlEventReport(event);
  takeOwnerOutOfPlay(true);
  saveAtOnce();
  eraseProgressLine();
  writeToErrorStreamAtOnce(report.text());
  closeAtOnce();
  platform::exitProcess(static_cast<std::uint32_t>(event));
}

void onProcessorException(platform::ProcessorException exception) {
  takeOwnerOutOfPlay(false);
  saveAtOnce();
  eraseProgressLine();
  const bool ignore = ignoreExceptions.load();
  if (!ignore) {
    const FixedReport report = exceptionReport(exception);
    platform::writeAll(platform::standardHandle(platform::StandardStream::output), report.bytes.data(),
                       report.size);
  }
  closeAtOnce();
  if (ignore) {
    platform::passExceptionOn(exception);
    return;
  }
  platform::exitProcess(0);
}

void setIgnoreProcessorExceptions(bool ignore) { ignoreExceptions.store(ignore); }

}  // namespace quadrel
