#pragma once

#include <condition_variable>
#include <mutex>

namespace vexa::platform {

// A manual- or auto-reset event.
class Event {
 public:
  enum class Reset { Manual, Auto };
  explicit Event(Reset reset = Reset::Manual, bool signalled = false)
      : manual_(reset == Reset::Manual), signalled_(signalled) {}

  void set();
  void reset();
  // True when signalled within timeoutMs (a negative time-out waits forever).
  bool wait(int timeoutMs);

 private:
  const bool manual_;
  bool signalled_;
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace vexa::platform
