#include "camera/FrameProducer.h"

#include <chrono>

#include "camera/JpegFrameTag.h"
#include "common/DebugTrace.h"

namespace vexa::camera {

using SteadyClock = std::chrono::steady_clock;

FrameProducer::Viewer::Viewer(FrameProducer& producer) : producer_(producer) {
  std::lock_guard lock(producer_.mutex_);
  ++producer_.viewers_;
  producer_.changed_.notify_all();
}

FrameProducer::Viewer::~Viewer() {
  std::lock_guard lock(producer_.mutex_);
  if (--producer_.viewers_ > 0) return;
  // Without viewers the dump may go to another stream; the next viewer starts a new run in it.
  producer_.dump_.release();
  producer_.dumpedSequence_ = 0;
}

FrameProducer::FrameProducer(int width, int height, int fps, int quality, VideoDump* dump,
                             PtzControl* ptz, const std::optional<FisheyeSettings>& fisheye)
    : generator_(width, height, fisheye),
      width_(width),
      height_(height),
      fps_(fps),
      quality_(quality),
      ptz_(ptz),
      dump_(dump) {}

FrameProducer::~FrameProducer() {
  stop();
}

bool FrameProducer::start() {
  if (thread_.joinable()) return false;
  if (fps_ < kMinFps || fps_ > kMaxFps) return false;
  if (!encoder_.open(width_, height_, quality_)) return false;
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    encoder_.close();
    return false;
  }
  return true;
}

void FrameProducer::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  encoder_.close();
}

EncodedFrame FrameProducer::waitNewer(uint64_t after, int timeoutMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [&] { return stopping_ || latest_.sequence > after; });
  if (stopping_ || latest_.sequence <= after) return {};
  if (latest_.sequence > dumpedSequence_ && dump_.write(*latest_.jpeg)) {
    dumpedSequence_ = latest_.sequence;
  }
  return latest_;
}

bool FrameProducer::waitForViewers(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return stopping_ || viewers_ > 0; });
  return !stopping_;
}

void FrameProducer::produce(uint32_t pictureIndex) {
  std::optional<ViewRect> view;
  if (ptz_) view = ptz_->cropFor(width_, height_);
  generator_.renderShown(pictureIndex, view, scratch_);
  auto jpeg = std::make_shared<std::vector<uint8_t>>(encoder_.encode(toYuv420(scratch_)));
  if (jpeg->empty()) {
    DebugTrace("FrameProducer: picture %u did not encode\n", pictureIndex);
    return;
  }
  tagFrameIndex(*jpeg, pictureIndex);
  std::lock_guard lock(mutex_);
  latest_.sequence += 1;
  latest_.pictureIndex = pictureIndex;
  latest_.jpeg = std::move(jpeg);
  framesEncoded_.fetch_add(1, std::memory_order_relaxed);
  changed_.notify_all();
}

void FrameProducer::run() {
  const auto interval = std::chrono::microseconds(1000000 / fps_);
  uint32_t pictureIndex = 0;
  auto due = SteadyClock::now();
  while (true) {
    {
      std::unique_lock lock(mutex_);
      const bool hadViewers = viewers_ > 0;
      if (!waitForViewers(lock)) return;
      // After an idle spell the rate starts afresh rather than catching up.
      if (!hadViewers) due = SteadyClock::now();
    }
    produce(pictureIndex++);
    due += interval;
    const auto now = SteadyClock::now();
    if (due < now - interval) due = now;  // fell behind: skip instead of bursting
    std::unique_lock lock(mutex_);
    if (changed_.wait_until(lock, due, [&] { return stopping_; })) return;
  }
}

}  // namespace vexa::camera
