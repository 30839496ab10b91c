#include "protocol/http/IPCameraHTTP.h"

#include <mutex>

#include "platform/Clock.h"
#include "platform/Environment.h"
#include "platform/Thread.h"
#include "protocol/rtsp/RtspHeaders.h"

namespace vexa {

namespace {
// A destroyed handler with a worker waits one wait period first, so that the worker in its last
// turn can finish.
constexpr uint32_t kDestroyGraceMs = 100;
constexpr int kUnauthorized = 401;
constexpr std::string_view kMethod = "GET";
}

IPCameraHTTP::IPCameraHTTP()
    : biasSeconds_(platform::standardTimeBiasSeconds()),
      worker_({.read = [this] { OnRecv(); }, .write = [this] { OnSend(); }}) {}

IPCameraHTTP::~IPCameraHTTP() {
  if (worker_.hasThread()) platform::sleepMs(kDestroyGraceMs);
  worker_.stop();
}

bool IPCameraHTTP::Play() {
  if (config_ == nullptr || worker_.running() || worker_.hasThread()) return false;
  {
    std::lock_guard lock(frameLock_);
    frame_.clear();
  }
  authenticator_.setCredentials({config_->userName, config_->password});
  challengeTaken_ = false;
  return worker_.play({.host = config_->host, .port = config_->httpPort});
}

// Basic goes with the first request as cameras expect it; once the camera challenged, the
// request answers its challenge instead (Digest, typically).
void IPCameraHTTP::OnSend() {
  answerAccepted_ = false;
  worker_.sendAll(challengeTaken_ ? authenticator_.authorize(buildMjpegRequest({}, {}))
                                  : buildMjpegRequest(config_->userName, config_->password));
}

void IPCameraHTTP::OnRecv() { readReceived(worker_.receive()); }

void IPCameraHTTP::onReceived(std::span<const uint8_t> bytes) {
  worker_.recvBuffer().append(bytes.data(), int32_t(bytes.size()));
  readReceived(int32_t(bytes.size()));
}

void IPCameraHTTP::readReceived(int32_t received) {
  receivedBytes_.fetch_add(uint32_t(received), std::memory_order_relaxed);
  if (!answerAccepted()) return;
  parser_.parse(worker_.recvBuffer(), [this](std::span<const uint8_t> jpeg) { acceptPicture(jpeg); });
}

bool IPCameraHTTP::answerAccepted() {
  if (answerAccepted_) return true;
  const std::string_view text = worker_.recvBuffer().text();
  // A camera that starts with the parts themselves has no status to read.
  if (!mayBeginAnswer(text)) return answerAccepted_ = true;
  const std::optional<RtspAnswer> answer = readRtspAnswer(text);
  if (!answer) {
    if (text.size() > size_t(kMaxAnswerBytes)) worker_.endConnection({StreamFault::kAnswerUnreadable, {}});
    return false;
  }
  if (answer->statusCode == kUnauthorized) {
    if (authenticator_.onUnauthorized(answer->head) == auth::Authenticator::Verdict::kRetry) {
      // Cameras often close after a 401: the credentials go on a new connection.
      challengeTaken_ = true;
      worker_.reconnect({.host = config_->host, .port = config_->httpPort});
    } else {
      worker_.endConnection({StreamFault::kAuthenticationRefused, authenticator_.refusal()});
    }
    return false;
  }
  if (!answer->success() && answer->statusCode != 0) {
    worker_.endConnection(errorAnswer(answer->statusLine, kMethod));
    return false;
  }
  authenticator_.onAnswered();
  worker_.status().markPlaying();
  return answerAccepted_ = true;
}

void IPCameraHTTP::acceptPicture(std::span<const uint8_t> jpeg) {
  const int64_t now = platform::utcSeconds();
  pictureUtc_ = now;
  pictureLocal_ = now - biasSeconds_;
  std::lock_guard lock(frameLock_);
  frame_.clear();
  frame_.append(jpeg.data(), int32_t(jpeg.size()));
  pictureCounter_.fetch_add(1, std::memory_order_relaxed);
}

bool IPCameraHTTP::GetJpegFrame(const uint8_t** data, int32_t* length) const {
  *data = frame_.data();
  *length = frame_.size();
  return frame_.size() >= 0;
}

}  // namespace vexa
