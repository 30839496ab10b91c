#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "platform/Clock.h"

namespace vexa::platform {

// The host's user-interface thread: periodic timers and calls posted from other threads, run on
// whichever thread calls runDue(). A host loops on it; tests step it by hand with a ManualClock.
class UiLoop {
 public:
  using Callback = std::function<void()>;

  explicit UiLoop(const Clock& clock = SystemClock::instance()) : clock_(clock) {}

  // Starts (or restarts) timer id with the given period; the first run is one period from now.
  void setTimer(int id, uint32_t periodMs, Callback callback);
  void killTimer(int id);
  // Thread-safe.
  void post(Callback call);

  // Runs posted calls, then every timer that is due (each at most once). Returns the milliseconds
  // until the next timer is due (capped at maxWaitMs).
  uint32_t runDue(uint32_t maxWaitMs = 100);

  const Clock& clock() const { return clock_; }

 private:
  struct Timer {
    uint32_t periodMs;
    uint32_t lastRun;
    Callback callback;
  };

  const Clock& clock_;
  std::map<int, Timer> timers_;
  std::mutex postedMutex_;
  std::deque<Callback> posted_;
};

}  // namespace vexa::platform
