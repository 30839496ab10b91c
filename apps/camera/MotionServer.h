#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "camera/PictureGenerator.h"
#include "camera/PtzControl.h"
#include "camera/TcpServer.h"

namespace vexa::camera {

struct MotionServerOptions {
  static constexpr uint16_t kDefaultPort = 5656;
  static constexpr int kMaxThreshold = 100;

  std::string bindAddress = "127.0.0.1";
  uint16_t port = kDefaultPort;  // 0: an ephemeral port, see MotionServer::port()
  int fps = 10;                  // the pictures whose changes are measured
  std::optional<int> threshold;  // 0..100; unset: it cycles through 60..90, a step a second
  bool inactive = false;         // report "motion detection off" instead of levels
  bool logValues = false;        // echo what is sent on stderr
  PtzControl* ptz = nullptr;     // the view measured; outlives the server; home when null
};

// What a motion port sends, a 100 ms step at a time: the percentage of pixels that changed since
// the previous step's picture, and each second the threshold as 100 + t, every value in hex
// digits followed by "$".
class MotionFeed {
 public:
  static constexpr int kStepMs = 100;
  static constexpr int kStepsPerSecond = 1000 / kStepMs;
  static constexpr int kMinCycledThreshold = 60;
  static constexpr int kMaxCycledThreshold = 90;
  static constexpr int kThresholdBase = 100;
  static constexpr int kInactiveValue = 0xC9;
  // Small pictures: the share of changed pixels hardly depends on the size.
  static constexpr int kMeasureWidth = 160;
  static constexpr int kMeasureHeight = 120;

  explicit MotionFeed(const MotionServerOptions& options);

  std::string step();

 private:
  int changedPercent(uint32_t pictureIndex);

  const MotionServerOptions options_;
  PictureGenerator generator_;
  BgrPicture previous_;
  BgrPicture current_;
  uint64_t steps_ = 0;
};

// Sends every client its own MotionFeed until it goes away; what the client sends is ignored.
class MotionServer {
 public:
  static constexpr size_t kMaxIgnoredBytes = 4096;
  static constexpr int kSendStallLimitMs = 10000;
  // What sentText keeps; later text is not kept.
  static constexpr size_t kMaxSentTextBytes = 64 * 1024;

  explicit MotionServer(MotionServerOptions options);
  MotionServer(const MotionServer&) = delete;
  MotionServer& operator=(const MotionServer&) = delete;
  ~MotionServer();

  // False, with lastError() saying why, when the address cannot be bound.
  bool start();
  void stop();
  uint16_t port() const { return tcp_.port(); }
  const std::string& lastError() const { return lastError_; }
  // Everything sent so far, to every client, in the order sent: what a client can check its
  // readings against.
  std::string sentText() const;

 private:
  void serve(TcpConnection& connection, const std::atomic<bool>& stopping);
  void keepSent(const std::string& text);

  const MotionServerOptions options_;
  TcpServer tcp_;
  std::string lastError_;
  mutable std::mutex sentLock_;
  std::string sentText_;  // under sentLock_
};

}  // namespace vexa::camera
