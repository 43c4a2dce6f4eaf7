#include "platform/kernel/event.h"

namespace platform {

void Event::Set() {
  // Notified under the lock: a waiter cannot return, and perhaps destroy the
  // event, while the setter still touches it.
  std::lock_guard lock(mutex_);
  signalled_ = true;
  if (mode_ == Reset::Manual) {
    changed_.notify_all();
  } else {
    changed_.notify_one();
  }
}

void Event::Clear() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(std::optional<std::chrono::milliseconds> timeout) {
  std::unique_lock lock(mutex_);
  auto isSet = [this] { return signalled_; };
  if (!timeout) {
    changed_.wait(lock, isSet);
  } else if (timeout->count() <= 0) {
    // A test, not a wait: a timed wait that is already over would still
    // enter the kernel and give up the processor.
    if (!signalled_) return false;
  } else if (!changed_.wait_for(lock, *timeout, isSet)) {
    return false;
  }
  if (mode_ == Reset::Auto) signalled_ = false;
  return true;
}

}  // namespace platform
