#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// The camera's motion-level stream: hexadecimal values, each ended by "$". Unsynchronised; the
// poller that owns one guards it.
class MotionValues {
 public:
  // Levels kept for a window that is not drawing; older ones are dropped.
  static constexpr size_t kMaxQueuedLevels = 100;
  // Digits awaiting their "$" across reads; a longer run keeps only its newest digits.
  static constexpr size_t kMaxPendingDigits = 16;
  static constexpr int32_t kDefaultThreshold = 80;
  static constexpr int kMaxLevel = 100;
  static constexpr int kMaxThresholdValue = 200;

  struct Taken {
    std::vector<int8_t> levels;  // oldest first
    int32_t threshold = kDefaultThreshold;
    bool active = false;
  };

  // Scans bytes as the continuation of everything fed before.
  void feed(std::string_view bytes);
  // The levels queued since the last take (the queue is emptied), with the threshold and flag.
  Taken take();

  size_t queuedLevels() const { return levels_.size(); }
  int32_t threshold() const { return threshold_; }
  bool active() const { return active_; }

 private:
  void onDelimiter();
  void apply(int value);

  std::string pendingDigits_;
  std::deque<int8_t> levels_;
  int32_t threshold_ = kDefaultThreshold;
  bool active_ = false;
};

}  // namespace vexa
