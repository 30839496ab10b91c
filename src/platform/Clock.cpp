#include "platform/Clock.h"

#include <chrono>

namespace vexa::platform {

uint32_t tickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int64_t utcSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

SystemClock& SystemClock::instance() {
  static SystemClock clock;
  return clock;
}

}  // namespace vexa::platform
