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

}  // namespace vexa::platform
