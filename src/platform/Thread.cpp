#include "platform/Thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <system_error>

namespace vexa::platform {

int WorkerThread::start(std::function<void()> body) {
  if (running() || thread_.joinable()) return kAlreadyRunning;
  if (ended_.joinable()) ended_.join();
  runFlag_.store(1, std::memory_order_relaxed);
  try {
    thread_ = std::thread(std::move(body));
  } catch (const std::system_error&) {
    runFlag_.store(0, std::memory_order_relaxed);
    return kStartFailed;
  }
  return kStarted;
}

void WorkerThread::stop() {
  requestStop();
  join();
}

void WorkerThread::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  if (ended_.joinable()) ended_.join();
}

void WorkerThread::setAsideEnded() {
  requestStop();
  if (ended_.joinable()) ended_.join();
  ended_ = std::move(thread_);
}

void raiseCurrentThreadPriority() {
  // A nice value applies per thread on Linux; lowering it needs a privilege most users lack.
  constexpr int kRaisedNice = -10;
  (void)setpriority(PRIO_PROCESS, id_t(gettid()), kRaisedNice);
}

void sleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void MessageThread::start(Handler handler) {
  if (thread_.joinable()) return;
  handler_ = std::move(handler);
  thread_ = std::thread([this] { serve(); });
}

void MessageThread::post(uint32_t message) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
  }
  posted_.notify_one();
}

void MessageThread::join() {
  if (thread_.joinable()) thread_.join();
}

void MessageThread::serve() {
  for (;;) {
    uint32_t message = 0;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [this] { return !queue_.empty(); });
      message = queue_.front();
      queue_.pop_front();
    }
    if (!handler_(message)) return;
  }
}

}  // namespace vexa::platform
