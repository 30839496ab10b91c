#pragma once

#include <atomic>
#include <cstdint>

#include "common/CriticalSection.h"
#include "protocol/http/MjpegStreamParser.h"
#include "common/ByteBuffer.h"
#include "net/SocketWorker.h"
#include "common/StreamConfig.h"

namespace vexa {

// Arrival time of the newest picture: UTC, and local standard time (UTC minus the zone's bias).
struct PictureTime {
  int64_t utc = 0;
  int64_t local = 0;
};

// The HTTP multipart JPEG stream: one GET, then the newest complete picture behind the frame lock.
class IPCameraHTTP {
 public:
  IPCameraHTTP();
  IPCameraHTTP(const IPCameraHTTP&) = delete;
  IPCameraHTTP& operator=(const IPCameraHTTP&) = delete;
  ~IPCameraHTTP();

  // The site's configuration copy; set before Play.
  void setConfig(const StreamConfig* config) { config_ = config; }

  // Empties both buffers and starts the worker; true only when a new thread was created.
  bool Play();
  // Clears the run flag and returns at once.
  void Stop() { worker_.requestStop(); }

  // The newest picture, valid while the frame lock is held.
  bool GetJpegFrame(const uint8_t** data, int32_t* length) const;
  CLFXCriticalSection& frameLock() { return frameLock_; }
  const std::atomic<uint32_t>& pictureCounter() const { return pictureCounter_; }
  PictureTime pictureTime() const { return {pictureUtc_.load(), pictureLocal_.load()}; }
  // Received bytes since the previous call.
  uint32_t GetVideoBytes() { return receivedBytes_.exchange(0, std::memory_order_relaxed); }

 private:
  void OnSend();
  void OnRecv();
  void acceptPicture(std::span<const uint8_t> jpeg);

  const StreamConfig* config_ = nullptr;
  const int64_t biasSeconds_;
  SocketWorker worker_;
  MjpegStreamParser parser_;
  CLFXCriticalSection frameLock_;
  ByteBuffer frame_;
  std::atomic<uint32_t> pictureCounter_{0};
  std::atomic<uint32_t> receivedBytes_{0};
  std::atomic<int64_t> pictureUtc_{0};
  std::atomic<int64_t> pictureLocal_{0};
};

}  // namespace vexa
