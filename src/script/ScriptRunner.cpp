#include "script/ScriptRunner.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include <poll.h>
#include <unistd.h>

namespace vexa {

namespace {

// How often the reader looks at its stop flag while no input comes.
constexpr int kStopCheckMs = 50;
// Lines read ahead of the answers; past that the reader leaves the rest in the descriptor.
constexpr size_t kMaxQueuedLines = 64;
constexpr size_t kReadBytes = 4096;

enum class Readable { kYes, kNotYet, kEnded };

Readable pollReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  const int ready = ::poll(&entry, 1, kStopCheckMs);
  if (ready < 0) return errno == EINTR ? Readable::kNotYet : Readable::kEnded;
  if (ready == 0) return Readable::kNotYet;
  // POLLHUP with data still buffered reads the data first; read() then sees the end.
  return (entry.revents & (POLLIN | POLLHUP)) != 0 ? Readable::kYes : Readable::kEnded;
}

// Cuts the bytes read into lines; a line over the cap keeps none of its text.
class LineCutter {
 public:
  template <typename Take>
  void feed(const char* data, size_t size, Take&& take) {
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == '\n') {
        take(finishLine());
      } else if (!overflowed_) {
        line_.push_back(data[i]);
        if (line_.size() > kScriptLineMaxBytes) {
          overflowed_ = true;
          line_.clear();
          line_.shrink_to_fit();
        }
      }
    }
  }

  // Input ended: the last line when it had no newline.
  template <typename Take>
  void end(Take&& take) {
    if (overflowed_ || !line_.empty()) take(finishLine());
  }

 private:
  std::optional<std::string> finishLine() {
    std::optional<std::string> line;
    if (!overflowed_) line = std::move(line_);
    line_.clear();
    overflowed_ = false;
    return line;
  }

  std::string line_;
  bool overflowed_ = false;
};

}  // namespace

ScriptRunner::ScriptRunner(DVexaActiveX& control, const platform::Clock& clock, int fd,
                           std::ostream& answers, std::ostream* calls)
    : session_(control), clock_(clock), fd_(fd), answers_(answers), calls_(calls) {
  if (reader_.start([this] { read(); }) != platform::kStarted) {
    std::lock_guard lock(mutex_);
    inputEnded_ = true;
  }
}

ScriptRunner::~ScriptRunner() {
  reader_.requestStop();
  room_.notify_all();
  reader_.join();
}

void ScriptRunner::read() {
  LineCutter cutter;
  const auto take = [this](QueuedLine line) { queue(std::move(line)); };
  char buffer[kReadBytes];
  while (reader_.running() && waitForRoom()) {
    const Readable readable = pollReadable(fd_);
    if (readable == Readable::kNotYet) continue;
    const ssize_t n = readable == Readable::kYes ? ::read(fd_, buffer, sizeof buffer) : 0;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    cutter.feed(buffer, size_t(n), take);
  }
  if (reader_.running()) cutter.end(take);
  std::lock_guard lock(mutex_);
  inputEnded_ = true;
}

// False once the runner stops.
bool ScriptRunner::waitForRoom() {
  std::unique_lock lock(mutex_);
  while (lines_.size() >= kMaxQueuedLines && reader_.running()) {
    room_.wait_for(lock, std::chrono::milliseconds(kStopCheckMs));
  }
  return reader_.running();
}

void ScriptRunner::queue(QueuedLine line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

std::optional<ScriptRunner::QueuedLine> ScriptRunner::nextLine() {
  std::optional<QueuedLine> line;
  {
    std::lock_guard lock(mutex_);
    if (lines_.empty()) return line;
    line = std::move(lines_.front());
    lines_.pop_front();
  }
  room_.notify_one();
  return line;
}

// True while a wait still runs; writes its answer once it is over.
bool ScriptRunner::holdingAnswer() {
  if (!heldAnswer_) return false;
  if (clock_.tickCount() - heldSince_ < heldMs_) return true;
  write(*heldAnswer_);
  heldAnswer_.reset();
  return false;
}

void ScriptRunner::poll() {
  while (!holdingAnswer()) {
    std::optional<QueuedLine> line = nextLine();
    if (!line) break;
    if (calls_ != nullptr) {
      *calls_ << (*line ? **line : std::string("(a line over the length limit)")) << '\n';
      calls_->flush();
    }
    ScriptAnswer answer = *line ? session_.answer(**line) : ScriptSession::answerTooLong();
    if (answer.waitMs == 0) {
      write(answer.line);
    } else {
      heldAnswer_ = std::move(answer.line);
      heldSince_ = clock_.tickCount();
      heldMs_ = answer.waitMs;
    }
  }
}

void ScriptRunner::write(const std::string& line) {
  answers_ << line << '\n';
  answers_.flush();
}

bool ScriptRunner::finished() const {
  std::lock_guard lock(mutex_);
  return inputEnded_ && lines_.empty() && !heldAnswer_;
}

}  // namespace vexa
