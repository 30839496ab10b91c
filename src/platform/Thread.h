#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Event.h"

namespace vexa::platform {

// Results of starting a worker, as every worker of the system reports them.
enum StartResult : int {
  kStartFailed = 0,
  kAlreadyRunning = 1,
  kStarted = 2,
};

// A worker's thread together with its run flag.
class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  ~WorkerThread() { join(); }

  // kAlreadyRunning when the flag is set or a thread exists; otherwise sets the flag and starts
  // body: kStarted, or kStartFailed with the flag cleared again.
  int start(std::function<void()> body);
  // Clears the run flag only; the body sees it at its next turn.
  void requestStop() { runFlag_.store(0, std::memory_order_relaxed); }
  // Clears the run flag and waits for the thread without a time limit.
  void stop();
  void join();
  // For a body that has returned: frees the slot for a new start without waiting for the thread
  // to exit. It is joined at the next start or at join, long gone by then.
  void setAsideEnded();

  bool running() const { return runFlag_.load(std::memory_order_relaxed) != 0; }
  // A body's loop: turns until stopped, sleeping on wake after a turn that found nothing to do.
  // Stop sets wake after the flag, but such a turn may reset wake (its queue ran empty), so the
  // flag is looked at again before sleeping and a stop during the turn is not slept through.
  void runTurns(Event& wake, const std::function<bool()>& turn) {
    while (running()) {
      if (!turn() && running()) wake.wait(-1);
    }
  }
  bool hasThread() const { return thread_.joinable(); }

 private:
  std::atomic<uint8_t> runFlag_{0};
  std::thread thread_;
  std::thread ended_;  // set aside, still to be joined
};

// A thread serving messages posted to it, one at a time in the order posted, as a user-interface
// thread of a windowing system does. The handler returns false to end the loop.
class MessageThread {
 public:
  using Handler = std::function<bool(uint32_t message)>;

  MessageThread() = default;
  MessageThread(const MessageThread&) = delete;
  MessageThread& operator=(const MessageThread&) = delete;
  // The owner posts the message that ends the loop first; this waits for it.
  ~MessageThread() { join(); }

  void start(Handler handler);
  // Any thread; messages posted after the loop ended are dropped.
  void post(uint32_t message);
  void join();

 private:
  void serve();

  Handler handler_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<uint32_t> queue_;  // under mutex_
  std::thread thread_;
};

// Raises the calling thread's priority as far as the system lets it, short of real-time
// scheduling; a refusal is ignored. For threads that must not fall behind a live stream.
void raiseCurrentThreadPriority();

// Sleep for a number of milliseconds.
void sleepMs(uint32_t ms);

}  // namespace vexa::platform
