// A write that goes on behind the owner: one full gathered buffer at a time
// is written at its file offset by a helper thread while the owner fills
// the next one, so reading, weaving and writing overlap.
//
// The owner hands over one write, waits for it before anything else of the
// unit reaches the file, and keeps the buffer untouched until then. An
// ending at once may read what is in flight at any instant and write it
// again: the same bytes at the same offset change nothing. The thread is
// never stopped by an ending; termination.h says why that is safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace quadrel {

class WriteBehind {
 public:
  // Whether a write can be handed over: the helper thread runs, started on
  // first use. When it cannot be started the owner writes itself.
  bool available();

  // Hands over the write of `size` bytes at `offset`; none may be in flight.
  void start(platform::Handle handle, const std::byte* bytes, std::size_t size, std::int64_t offset);

  bool inFlight() const { return size_.load(std::memory_order_relaxed) != 0; }
  std::int64_t offset() const { return offset_.load(std::memory_order_relaxed); }

  // Waits until the write in flight is done; what it moved, and its error.
  // It still counts as in flight until `forget`.
  platform::TransferResult finish();
  void forget() { size_.store(0, std::memory_order_release); }

  // Writes again what is in flight, for an ending at once. Async-signal-safe.
  void writeAgainAtOnce(platform::Handle handle) const;

 private:
  // What the owner and the helper thread share; it lives as long as the
  // thread, to the end of the process.
  struct Helper;

  Helper* helper_ = nullptr;
  bool unavailable_ = false;

  // What is in flight, for the ending: `size_` is stored last and cleared
  // first (termination.h).
  std::atomic<const std::byte*> bytes_{nullptr};
  std::atomic<std::int64_t> offset_{0};
  std::atomic<std::size_t> size_{0};
};

}  // namespace quadrel
