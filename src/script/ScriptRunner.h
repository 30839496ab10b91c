#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "control/DVexaActiveX.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "script/ScriptSession.h"

namespace vexa {

// Serves script lines read from a file descriptor (stdin, a file, a pipe) to a control. A reader
// thread of its own queues the lines; the host's user-interface thread answers them in order in
// poll(), where the control's members must run, holding answers back while a wait runs.
class ScriptRunner {
 public:
  // The fd stays the caller's. Answers go to answers, one a line; with calls, each request line
  // goes there first.
  ScriptRunner(DVexaActiveX& control, const platform::Clock& clock, int fd, std::ostream& answers,
               std::ostream* calls = nullptr);
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;
  // Stops the reader, whether or not input has ended.
  ~ScriptRunner();

  // Each turn of the host's loop, on its user-interface thread.
  void poll();
  // Input ended and every line of it was answered; on the user-interface thread too.
  bool finished() const;

 private:
  // A line, or none for a line that was too long to keep.
  using QueuedLine = std::optional<std::string>;

  void read();
  bool waitForRoom();
  void queue(QueuedLine line);
  std::optional<QueuedLine> nextLine();
  bool holdingAnswer();
  void write(const std::string& line);

  ScriptSession session_;
  const platform::Clock& clock_;
  const int fd_;
  std::ostream& answers_;
  std::ostream* calls_;

  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::deque<QueuedLine> lines_;  // under mutex_
  bool inputEnded_ = false;       // under mutex_

  // The answer held back by a running wait (user-interface thread only).
  std::optional<std::string> heldAnswer_;
  uint32_t heldSince_ = 0;
  uint32_t heldMs_ = 0;

  platform::WorkerThread reader_;  // last, so that it stops before the rest goes
};

}  // namespace vexa
