#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vexa {

// The camera command channel the pan/tilt/zoom sender talks through: one GET at a time, its
// status polled, its answer read once it completed.
class PtzChannel {
 public:
  virtual ~PtzChannel() = default;
  // False when the request could not be started.
  virtual bool Request(const std::string& host, uint16_t port, const std::string& target,
                       const std::string& user, const std::string& pass, int32_t timeoutMs) = 0;
  // 0 while running, -1 failed, else the answer's HTTP status code.
  virtual int32_t GetStatus() const = 0;
  virtual std::string GetResponse() const = 0;
};

// Sends pan/tilt, zoom, position and centre commands to the camera's PTZ CGI, one at a time:
// newer requests of a kind overwrite the pending one, so only the latest values go out.
class PtzSender {
 public:
  static constexpr int kMaxSpeed = 100;
  static constexpr uint16_t kDefaultPort = 80;
  static constexpr int32_t kTimeoutMs = 2000;
  static constexpr const char* kCgi = "/cgi-bin/com/ptz.cgi";
  using ZoomPositionSink = std::function<void(int position)>;

  // channel may be null: nothing is sent until one is given.
  explicit PtzSender(std::unique_ptr<PtzChannel> channel = {});
  PtzSender(const PtzSender&) = delete;
  PtzSender& operator=(const PtzSender&) = delete;
  virtual ~PtzSender();

  void setChannel(std::unique_ptr<PtzChannel> channel);
  void setZoomPositionSink(ZoomPositionSink sink) { zoomPositionSink_ = std::move(sink); }
  // Set at every stream start.
  void setStream(const std::string& host, const std::string& streamName);
  // Values <= 0 are ignored.
  void setPort(int port);
  void setUser(const std::string& user) { user_ = user; }
  void setPassword(const std::string& password) { password_ = password; }

  // Each stores its request and runs the step at once.
  void panTilt(int pan, int tilt);
  void zoom(int speed);
  void queryPosition();
  void centre(int x, int y, int height, int width);
  // Collects a finished request and sends the next pending one; run on every draw tick.
  void step();

  bool busy() const { return state_ != kIdle; }
  uint16_t port() const { return port_; }
  const std::string& streamName() const { return streamName_; }

 private:
  enum State : uint8_t { kPanTilt = 0, kZoom = 1, kPosition = 2, kCentre = 4, kIdle = 255 };
  struct PanTilt {
    int pan = 0;
    int tilt = 0;
    bool operator==(const PanTilt&) const = default;
  };

  void collect(int32_t status);
  void retryFailedStop();
  void readZoomPosition();
  void sendNext();
  void send(State state, const std::string& query);

  std::unique_ptr<PtzChannel> channel_;
  ZoomPositionSink zoomPositionSink_;
  std::string host_;
  std::string streamName_;
  uint16_t port_ = kDefaultPort;
  std::string user_;
  std::string password_;

  bool panTiltPending_ = false;
  bool zoomPending_ = false;
  bool positionPending_ = false;
  bool centrePending_ = false;
  State state_ = kIdle;

  // The last pan/tilt asked for; unknown after a failed stop, so that any value goes out again.
  std::optional<PanTilt> lastPanTilt_ = PanTilt{};
  PanTilt panTilt_;  // pending
  int zoomSpeed_ = 0;
  int centreX_ = 0;
  int centreY_ = 0;
  int centreHeight_ = 0;
  int centreWidth_ = 0;

  // A stop the camera did not take goes out once more, marked so that it is not resent again.
  bool panTiltIsRetry_ = false;
  bool zoomIsRetry_ = false;
  PanTilt sentPanTilt_;
  int sentZoom_ = 0;
  bool sentIsRetry_ = false;
};

}  // namespace vexa
