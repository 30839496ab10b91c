#include "platform/UiLoop.h"

#include <algorithm>
#include <vector>

namespace vexa::platform {

void UiLoop::setTimer(int id, uint32_t periodMs, Callback callback) {
  timers_[id] = Timer{periodMs, clock_.tickCount(), std::move(callback)};
}

void UiLoop::killTimer(int id) { timers_.erase(id); }

void UiLoop::post(Callback call) {
  std::lock_guard lock(postedMutex_);
  posted_.push_back(std::move(call));
}

uint32_t UiLoop::runDue(uint32_t maxWaitMs) {
  std::deque<Callback> calls;
  {
    std::lock_guard lock(postedMutex_);
    calls.swap(posted_);
  }
  for (auto& call : calls) call();

  // Collect first: a callback may set or kill timers.
  std::vector<int> due;
  const uint32_t now = clock_.tickCount();
  for (const auto& [id, timer] : timers_) {
    if (uint32_t(now - timer.lastRun) >= timer.periodMs) due.push_back(id);
  }
  for (int id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;
    it->second.lastRun = now;
    Callback callback = it->second.callback;  // the timer may be killed while it runs
    callback();
  }

  uint32_t wait = maxWaitMs;
  const uint32_t after = clock_.tickCount();
  for (const auto& [id, timer] : timers_) {
    const uint32_t elapsed = after - timer.lastRun;
    wait = std::min(wait, elapsed >= timer.periodMs ? 0u : timer.periodMs - elapsed);
  }
  return wait;
}

}  // namespace vexa::platform
