#include "services/units/write_behind.h"

#include <condition_variable>
#include <mutex>
#include <new>

namespace quadrel {

struct WriteBehind::Helper {
  std::mutex mutex;
  std::condition_variable changed;
  bool pending = false;  // handed over and not yet done
  platform::Handle handle = platform::noHandle;
  const std::byte* bytes = nullptr;
  std::size_t size = 0;
  std::int64_t offset = 0;
  platform::TransferResult result;

  // The helper thread: it waits for a write, makes it, and says so.
  static void serve(void* self) {
    auto& helper = *static_cast<Helper*>(self);
    std::unique_lock<std::mutex> lock(helper.mutex);
    for (;;) {
      helper.changed.wait(lock, [&helper] { return helper.pending; });
      lock.unlock();
      const platform::TransferResult result =
          platform::writeAllAt(helper.handle, helper.bytes, helper.size, helper.offset);
      lock.lock();
      helper.result = result;
      helper.pending = false;
      helper.changed.notify_all();
    }
  }
};

bool WriteBehind::available() {
  if (helper_ == nullptr && !unavailable_) {
    auto* helper = new (std::nothrow) Helper;
    if (helper != nullptr && platform::startHelperThread(Helper::serve, helper)) {
      helper_ = helper;
    } else {
      delete helper;
      unavailable_ = true;
    }
  }
  return helper_ != nullptr;
}

void WriteBehind::start(platform::Handle handle, const std::byte* bytes, std::size_t size,
                        std::int64_t offset) {
  bytes_.store(bytes, std::memory_order_relaxed);
  offset_.store(offset, std::memory_order_relaxed);
  size_.store(size, std::memory_order_release);
  {
    const std::lock_guard<std::mutex> lock(helper_->mutex);
    helper_->handle = handle;
    helper_->bytes = bytes;
    helper_->size = size;
    helper_->offset = offset;
    helper_->pending = true;
  }
  helper_->changed.notify_all();
}

platform::TransferResult WriteBehind::finish() {
  if (!inFlight()) return {};
  std::unique_lock<std::mutex> lock(helper_->mutex);
  helper_->changed.wait(lock, [this] { return !helper_->pending; });
  return helper_->result;
}

void WriteBehind::writeAgainAtOnce(platform::Handle handle) const {
  const std::size_t size = size_.load(std::memory_order_acquire);
  if (size == 0 || handle == platform::noHandle) return;
  platform::writeAllAt(handle, bytes_.load(std::memory_order_relaxed), size,
                       offset_.load(std::memory_order_relaxed));
}

}  // namespace quadrel
