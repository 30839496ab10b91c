#include "display/MotionValues.h"

#include <algorithm>
#include <cctype>

namespace vexa {

namespace {

// Only the last two digits before a delimiter make the value.
constexpr size_t kValueDigits = 2;

int hexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  return std::tolower(static_cast<unsigned char>(digit)) - 'a' + 10;
}

}  // namespace

void MotionValues::feed(std::string_view bytes) {
  for (const char byte : bytes) {
    if (byte == '$') {
      onDelimiter();
    } else if (std::isxdigit(static_cast<unsigned char>(byte))) {
      if (pendingDigits_.size() == kMaxPendingDigits) pendingDigits_.erase(0, 1);
      pendingDigits_.push_back(byte);
    } else {
      pendingDigits_.clear();
    }
  }
}

void MotionValues::onDelimiter() {
  if (pendingDigits_.empty()) return;
  const size_t from = pendingDigits_.size() - std::min(pendingDigits_.size(), kValueDigits);
  int value = 0;
  for (size_t i = from; i < pendingDigits_.size(); ++i) value = value * 16 + hexValue(pendingDigits_[i]);
  pendingDigits_.clear();
  apply(value);
}

void MotionValues::apply(int value) {
  if (value <= kMaxLevel) {
    if (levels_.size() == kMaxQueuedLevels) levels_.pop_front();
    levels_.push_back(int8_t(value));
    active_ = true;
  } else if (value <= kMaxThresholdValue) {
    threshold_ = value - kMaxLevel;
  } else {
    active_ = false;
  }
}

MotionValues::Taken MotionValues::take() {
  Taken taken{{levels_.begin(), levels_.end()}, threshold_, active_};
  levels_.clear();
  return taken;
}

}  // namespace vexa
