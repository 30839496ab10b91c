#include "camera/MotionServer.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "camera/TcpListener.h"

namespace vexa::camera {
namespace {

constexpr int kPercent = 100;

std::string hexValue(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X$", value);
  return text;
}

}  // namespace

MotionFeed::MotionFeed(const MotionServerOptions& options)
    : options_(options), generator_(kMeasureWidth, kMeasureHeight) {}

int MotionFeed::changedPercent(uint32_t pictureIndex) {
  std::optional<ViewRect> view;
  if (options_.ptz) view = options_.ptz->cropFor(kMeasureWidth, kMeasureHeight);
  generator_.renderShown(pictureIndex, view, current_);
  size_t changed = 0;
  if (previous_.pixels.size() == current_.pixels.size()) {
    for (size_t i = 0; i < current_.pixels.size(); i += 3) {
      changed += std::memcmp(&current_.pixels[i], &previous_.pixels[i], 3) != 0;
    }
  }
  std::swap(previous_, current_);
  return int(changed * kPercent / (size_t(kMeasureWidth) * kMeasureHeight));
}

std::string MotionFeed::step() {
  const auto pictureIndex = uint32_t(steps_ * uint64_t(options_.fps) / kStepsPerSecond);
  ++steps_;
  if (options_.inactive) return hexValue(kInactiveValue);
  std::string text = hexValue(changedPercent(pictureIndex));
  if (steps_ % kStepsPerSecond == 0) {
    const int span = kMaxCycledThreshold - kMinCycledThreshold + 1;
    const int cycled = kMinCycledThreshold + int((steps_ / kStepsPerSecond - 1) % span);
    text += hexValue(kThresholdBase + options_.threshold.value_or(cycled));
  }
  return text;
}

MotionServer::MotionServer(MotionServerOptions options)
    : options_(std::move(options)),
      tcp_([this](TcpConnection& connection, const std::atomic<bool>& stopping) {
        serve(connection, stopping);
      }) {}

MotionServer::~MotionServer() {
  stop();
}

bool MotionServer::start() {
  const auto address = bindableAddress(options_.bindAddress, options_.port);
  if (!address) {
    lastError_ = "cannot listen on " + options_.bindAddress;
    return false;
  }
  if (const int error = tcp_.start(options_.bindAddress, options_.port); error != 0) {
    lastError_ = "cannot listen on " + address->text() + ": " + std::strerror(error);
    return false;
  }
  return true;
}

void MotionServer::stop() {
  tcp_.stop();
}

void MotionServer::keepSent(const std::string& text) {
  std::lock_guard lock(sentLock_);
  if (sentText_.size() + text.size() <= kMaxSentTextBytes) sentText_ += text;
}

std::string MotionServer::sentText() const {
  std::lock_guard lock(sentLock_);
  return sentText_;
}

void MotionServer::serve(TcpConnection& connection, const std::atomic<bool>& stopping) {
  using Clock = std::chrono::steady_clock;
  MotionFeed feed(options_);
  auto due = Clock::now();
  std::string ignored;
  while (!stopping.load(std::memory_order_relaxed)) {
    const std::string text = feed.step();
    if (options_.logValues) {
      std::fprintf(stderr, "vexa-camera: #%llu motion %s\n",
                   static_cast<unsigned long long>(connection.number()), text.c_str());
    }
    if (connection.sendText(text, stopping, kSendStallLimitMs) != IoResult::Done) return;
    keepSent(text);
    const auto step = std::chrono::milliseconds(MotionFeed::kStepMs);
    due += step;
    if (due < Clock::now() - step) due = Clock::now();  // fell behind: skip, do not burst
    // Waiting on the connection notices a client that left, and drops what it sent.
    while (Clock::now() < due) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
      ignored.clear();
      const IoResult read =
          connection.receiveSome(ignored, kMaxIgnoredBytes, int(wait.count()) + 1);
      if (read != IoResult::Done || stopping.load(std::memory_order_relaxed)) return;
    }
  }
}

}  // namespace vexa::camera
