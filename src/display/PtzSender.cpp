#include "display/PtzSender.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

namespace vexa {
namespace {

constexpr std::string_view kZoomPositionKey = "zoomposition=";
// Positions beyond this are no camera's; reading stops there rather than overflow.
constexpr int kMaxZoomPosition = 1000000;

bool succeeded(int32_t status) {
  return status >= 200 && status <= 299;
}

int clampSpeed(int speed) {
  return std::clamp(speed, -PtzSender::kMaxSpeed, PtzSender::kMaxSpeed);
}

std::string format(const char* pattern, auto... values) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

}  // namespace

PtzSender::PtzSender(std::unique_ptr<PtzChannel> channel) : channel_(std::move(channel)) {}

PtzSender::~PtzSender() = default;

void PtzSender::setChannel(std::unique_ptr<PtzChannel> channel) {
  channel_ = std::move(channel);
  state_ = kIdle;
}

void PtzSender::setStream(const std::string& host, const std::string& streamName) {
  host_ = host;
  streamName_ = streamName;
}

void PtzSender::setPort(int port) {
  if (port > 0 && port <= UINT16_MAX) port_ = uint16_t(port);
}

void PtzSender::panTilt(int pan, int tilt) {
  const PanTilt wanted{clampSpeed(pan), clampSpeed(tilt)};
  if (lastPanTilt_ == wanted) return;
  // A pending zoom start may give way to the pan, but a pending zoom stop must still go out, or
  // the zoom runs on.
  if (zoomSpeed_ != 0) zoomPending_ = false;
  panTiltPending_ = true;
  panTiltIsRetry_ = false;
  panTilt_ = wanted;
  lastPanTilt_ = wanted;
  step();
}

void PtzSender::zoom(int speed) {
  zoomPending_ = true;
  zoomIsRetry_ = false;
  zoomSpeed_ = speed;
  step();
}

void PtzSender::queryPosition() {
  positionPending_ = true;
  step();
}

void PtzSender::centre(int x, int y, int height, int width) {
  centrePending_ = true;
  centreX_ = x;
  centreY_ = y;
  centreHeight_ = height;
  centreWidth_ = width;
  step();
}

void PtzSender::step() {
  if (!channel_) return;
  if (state_ != kIdle) {
    const int32_t status = channel_->GetStatus();
    if (status == 0) return;  // still running
    collect(status);
    state_ = kIdle;
  }
  sendNext();
}

void PtzSender::collect(int32_t status) {
  if (state_ == kPosition && succeeded(status)) readZoomPosition();
  if (!succeeded(status)) retryFailedStop();
}

void PtzSender::readZoomPosition() {
  // A failed request leaves the channel's previous answer in place: only a good one is read.
  const std::string answer = channel_->GetResponse();
  const size_t key = answer.find(kZoomPositionKey);
  if (key == std::string::npos) return;
  size_t at = key + kZoomPositionKey.size();
  if (at >= answer.size() || !std::isdigit(static_cast<unsigned char>(answer[at]))) return;
  int position = 0;
  for (; at < answer.size() && std::isdigit(static_cast<unsigned char>(answer[at])); ++at) {
    position = std::min(position * 10 + (answer[at] - '0'), kMaxZoomPosition);
  }
  if (zoomPositionSink_) zoomPositionSink_(position);
}

void PtzSender::retryFailedStop() {
  if (state_ == kPanTilt && sentPanTilt_ == PanTilt{}) {
    // The camera may still be moving: whatever is asked next must go out, even another stop.
    lastPanTilt_.reset();
    if (!sentIsRetry_ && !panTiltPending_) {
      panTiltPending_ = true;
      panTiltIsRetry_ = true;
      panTilt_ = {};
    }
  }
  if (state_ == kZoom && sentZoom_ == 0 && !sentIsRetry_ && !zoomPending_) {
    zoomPending_ = true;
    zoomIsRetry_ = true;
    zoomSpeed_ = 0;
  }
}

void PtzSender::sendNext() {
  if (host_.empty()) return;  // no stream started: nowhere to send yet
  if (panTiltPending_) {
    panTiltPending_ = false;
    sentPanTilt_ = panTilt_;
    sentIsRetry_ = panTiltIsRetry_;
    send(kPanTilt, format("continuouspantiltmove=%d,%d", panTilt_.pan, panTilt_.tilt));
  } else if (zoomPending_) {
    zoomPending_ = false;
    sentZoom_ = zoomSpeed_;
    sentIsRetry_ = zoomIsRetry_;
    send(kZoom, format("continuouszoommove=%d", zoomSpeed_));
  } else if (positionPending_) {
    positionPending_ = false;
    send(kPosition, "query=position");
  } else if (centrePending_) {
    centrePending_ = false;
    send(kCentre, format("center=%d,%d&imageheight=%d&imagewidth=%d&stream=", centreX_, centreY_,
                         centreHeight_, centreWidth_) +
                      streamName_);
  }
}

void PtzSender::send(State state, const std::string& query) {
  const std::string target = std::string(kCgi) + "?" + query;
  // A request the channel refuses (it cannot go on a request line) is dropped.
  if (channel_->Request(host_, port_, target, user_, password_, kTimeoutMs)) state_ = state;
}

}  // namespace vexa
