#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "common/CriticalSection.h"
#include "protocol/auth/Authenticator.h"
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

  // Empties both buffers and starts the worker; true only when a new thread was created. After
  // Stop and Join it starts a new connection.
  bool Play();
  // Clears the run flag and returns at once.
  void Stop() { worker_.requestStop(); }
  // Waits for the worker that Stop ended.
  void Join() { worker_.stop(); }

  // For the owner's recovery: how the connection fares.
  const ConnectionStatus& status() const { return worker_.status(); }
  bool finished() const { return worker_.finished(); }

  // The newest picture, valid while the frame lock is held.
  bool GetJpegFrame(const uint8_t** data, int32_t* length) const;
  CLFXCriticalSection& frameLock() { return frameLock_; }
  const std::atomic<uint32_t>& pictureCounter() const { return pictureCounter_; }
  PictureTime pictureTime() const { return {pictureUtc_.load(), pictureLocal_.load()}; }
  // Received bytes since the previous call.
  uint32_t GetVideoBytes() { return receivedBytes_.exchange(0, std::memory_order_relaxed); }

  // The read step on bytes the connection delivered (one receive's worth): counted, then the
  // answer's status and the pictures they complete are read. The read event runs it on what
  // the socket received; it runs on the worker, or on the caller's thread while no worker runs.
  void onReceived(std::span<const uint8_t> bytes);

 private:
  void OnSend();
  void OnRecv();
  void readReceived(int32_t received);
  // The answer's status, before its parts: false while it has not arrived or when it ended the
  // connection (an error, or credentials to send on a new one).
  bool answerAccepted();
  void acceptPicture(std::span<const uint8_t> jpeg);

  const StreamConfig* config_ = nullptr;
  const int64_t biasSeconds_;
  SocketWorker worker_;
  MjpegStreamParser parser_;
  auth::Authenticator authenticator_;
  bool challengeTaken_ = false;   // worker only: the next requests answer the camera's challenge
  bool answerAccepted_ = false;   // worker only, for the connection in hand
  CLFXCriticalSection frameLock_;
  ByteBuffer frame_;
  std::atomic<uint32_t> pictureCounter_{0};
  std::atomic<uint32_t> receivedBytes_{0};
  std::atomic<int64_t> pictureUtc_{0};
  std::atomic<int64_t> pictureLocal_{0};
};

}  // namespace vexa
