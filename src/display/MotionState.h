#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/CriticalSection.h"
#include "display/MotionValues.h"
#include "net/SocketWorker.h"

namespace vexa {

// The host part of a motion address: the text after "://" up to the next "/", without a ":port"
// (the motion port is fixed, whatever port the camera's pages use). Bracketed IPv6 stays whole.
std::string motionHostOf(std::string_view url);

// Polls a camera's motion-level port: one connection, nothing sent, the values received parsed
// for the UI thread. The camera closing the connection ends it; nothing reconnects.
class MotionState {
 public:
  static constexpr uint16_t kMotionPort = 5656;

  // url: a camera address in any form motionHostOf takes; resolve looks its name up (the
  // system's resolver when empty).
  explicit MotionState(std::string_view url, uint16_t port = kMotionPort,
                       platform::NameResolver resolve = {});
  MotionState(const MotionState&) = delete;
  MotionState& operator=(const MotionState&) = delete;
  // Waits for the worker before what it polls goes away: one wait period at most, a look-up
  // still under way included.
  ~MotionState() { worker_.stop(); }

  // platform::StartResult: 1 already running, 2 started, 0 failed. Only starts the thread; the
  // name look-up and the connect happen there.
  int start();
  // Clears the run flag; the worker ends within one wait period.
  void stop() { worker_.requestStop(); }

  // For the UI thread: the levels queued since the last take, the threshold and the active flag.
  MotionValues::Taken take();

  const std::string& host() const { return host_; }
  bool running() const { return worker_.running(); }
  // The worker has run its course: the camera closed, or it could not be reached.
  bool finished() const { return worker_.finished(); }

 private:
  void onRead();

  std::string host_;
  uint16_t port_;
  CLFXCriticalSection lock_;
  MotionValues values_;  // under lock_
  SocketWorker worker_;  // last: it ends before the state its steps use
};

}  // namespace vexa
