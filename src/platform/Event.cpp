#include "platform/Event.h"

#include <chrono>

namespace vexa::platform {

void Event::set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  if (manual_) changed_.notify_all(); else changed_.notify_one();
}

void Event::reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::wait(int timeoutMs) {
  std::unique_lock lock(mutex_);
  const auto isSignalled = [this] { return signalled_; };
  if (timeoutMs < 0) {
    changed_.wait(lock, isSignalled);
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSignalled)) {
    return false;
  }
  if (!manual_) signalled_ = false;
  return true;
}

}  // namespace vexa::platform
