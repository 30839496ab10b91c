#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/JpegEncoder.h"
#include "camera/PictureGenerator.h"
#include "camera/PtzControl.h"
#include "camera/VideoDump.h"

namespace vexa::camera {

// One encoded picture, shared read-only by every connection that sends it.
struct EncodedFrame {
  uint64_t sequence = 0;  // 1 for the first frame made; 0 when there is none
  uint32_t pictureIndex = 0;
  std::shared_ptr<const std::vector<uint8_t>> jpeg;
};

// Makes JPEG pictures at a steady rate on its own thread, once each whatever the number of
// viewers, and only while at least one viewer wants them. Viewers always take the newest picture,
// so a slow one skips pictures instead of holding anyone up. A picture goes to the dump when the
// first viewer takes it: once, in sending order, and only if someone was sent it.
class FrameProducer {
 public:
  static constexpr int kMinFps = 1;
  static constexpr int kMaxFps = 120;

  // Marks a viewer for as long as it lives.
  class Viewer {
   public:
    explicit Viewer(FrameProducer& producer);
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;
    ~Viewer();

   private:
    FrameProducer& producer_;
  };

  // ptz, when given, chooses the part of the scene each picture shows; it outlives the producer.
  // fisheye, when given, puts that picture on the floor of a room seen through the lens.
  FrameProducer(int width, int height, int fps, int quality, VideoDump* dump = nullptr,
                PtzControl* ptz = nullptr, const std::optional<FisheyeSettings>& fisheye = {});
  FrameProducer(const FrameProducer&) = delete;
  FrameProducer& operator=(const FrameProducer&) = delete;
  ~FrameProducer();

  // False when the rate is out of range, the encoder refuses the size or quality, or the thread
  // cannot start.
  bool start();
  void stop();

  // The newest frame once its sequence is above after; an empty frame after timeoutMs or when
  // the producer stops.
  EncodedFrame waitNewer(uint64_t after, int timeoutMs);

  uint64_t framesEncoded() const { return framesEncoded_.load(std::memory_order_relaxed); }

 private:
  void run();
  bool waitForViewers(std::unique_lock<std::mutex>& lock);
  void produce(uint32_t pictureIndex);

  PictureGenerator generator_;
  JpegEncoder encoder_;
  const int width_;
  const int height_;
  const int fps_;
  const int quality_;
  BgrPicture scratch_;
  PtzControl* const ptz_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  int viewers_ = 0;
  EncodedFrame latest_;
  VideoDump::Writer dump_;
  uint64_t dumpedSequence_ = 0;  // 0 when the viewers' run of pictures is not in the dump yet
  std::thread thread_;
  std::atomic<uint64_t> framesEncoded_{0};
};

}  // namespace vexa::camera
