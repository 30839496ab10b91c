#pragma once

#include "protocol/http/IPCameraHTTP.h"
#include "session/StreamRoad.h"

namespace vexa {

// The HTTP multipart JPEG stream as a road: video only.
class HttpRoad final : public StreamRoad {
 public:
  explicit HttpRoad(StreamConfig& config) : config_(config) {}
  ~HttpRoad() override { http_.Stop(); }

  uint32_t model() const override { return IPCAMERA_VIDEO_MODEL_HTTP_MJPEG; }
  bool play() override {
    http_.setConfig(&config_);
    return http_.Play();
  }
  void stop() override {
    http_.Stop();
    http_.Join();
  }
  StreamRecovery::Observation observe() const override {
    return {.ended = http_.finished(),
            .playing = http_.status().playing(),
            .failure = http_.status().failure(),
            .mediaPackets = http_.pictureCounter().load(std::memory_order_relaxed),
            .mediaOnConnection = true,
            .canFallBack = false};
  }

  CLFXCriticalSection* imageLock() override { return &http_.frameLock(); }
  const std::atomic<uint32_t>* pictureCounter() const override { return &http_.pictureCounter(); }
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override {
    return http_.GetJpegFrame(data, length);
  }
  uint32_t takeVideoBytes() override { return http_.GetVideoBytes(); }
  int32_t videoDrop() const override { return 0; }

 private:
  StreamConfig& config_;
  IPCameraHTTP http_;
};

}  // namespace vexa
