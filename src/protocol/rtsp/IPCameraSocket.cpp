#include "protocol/rtsp/IPCameraSocket.h"

#include "common/DebugTrace.h"
#include "protocol/rtsp/RtspHeaders.h"
#include "protocol/rtsp/RtspRequests.h"
#include "common/VideoModel.h"

namespace vexa {

namespace {

constexpr std::string_view kSuccessCode = "200";
// SETUP and PLAY answers shorter than this are not acted on.
constexpr int32_t kMinAnswerBytes = 13;
// How often a parked worker looks whether it was told to end.
constexpr int kParkedWaitMs = 100;

DescribedVideoCodec codecOfModel(uint32_t model) {
  if (isH264Model(model)) return DescribedVideoCodec::kH264;
  if (isMpeg4Model(model)) return DescribedVideoCodec::kMpeg4;
  return DescribedVideoCodec::kJpeg;
}

}  // namespace

IPCameraSocket::IPCameraSocket(DescribedStep onDescribed)
    : onDescribed_(std::move(onDescribed)),
      worker_({.read = [this] { onRead(); }, .write = [this] { onWrite(); }}) {}

IPCameraSocket::~IPCameraSocket() {
  worker_.requestStop();
  runEvent_.set();
  worker_.stop();
}

bool IPCameraSocket::Play() {
  if (config_ == nullptr) return false;
  {
    std::lock_guard lock(dialogueLock_);
    urls_ = {.stream = rtsp::streamUrl(config_->host, config_->path), .contentBase = {}};
  }
  return worker_.play({.host = config_->host, .port = config_->rtspPort});
}

void IPCameraSocket::Stop() {
  runEvent_.set();
  state_ = kTornDown;
  if (config_ != nullptr) {
    // sendAll sends nothing once the worker has ended (the camera closed the connection).
    worker_.sendAll(requestFor(kTornDown));
  }
  worker_.requestStop();
  runEvent_.set();
  worker_.stop();
}

// ---- requests ----

std::string IPCameraSocket::requestFor(State state) {
  std::lock_guard lock(dialogueLock_);
  const std::string& extra = config_->extraHeaderLine;
  switch (state) {
    case kDescribe:
      return rtsp::describeRequest(urls_.stream, config_->cseq++, extra);
    case kSetupVideo:
      return rtsp::udpSetupRequest(urls_.control(videoControl_), config_->cseq++,
                                   config_->videoRtpPort, config_->videoRtcpPort, extra);
    case kSetupAudio:
      // Without the video's session a standard server opens a second session for the audio,
      // and PLAY on the first never starts it (RFC 2326 section 10.4).
      return rtsp::udpSetupRequest(urls_.control(audioControl_), config_->cseq++,
                                   config_->audioRtpPort, config_->audioRtcpPort, extra, session_);
    case kPlay:
      return rtsp::udpPlayRequest(urls_.session(), config_->cseq++, session_, extra);
    case kTornDown:
      return rtsp::udpTeardownRequest(urls_.session(), config_->cseq++, extra);
    default:
      return {};
  }
}

void IPCameraSocket::onWrite() {
  const std::string request = requestFor(State(state()));
  if (!request.empty()) worker_.sendAll(request);
}

void IPCameraSocket::moveTo(State next) {
  state_ = next;
  worker_.recvBuffer().clear();
  onWrite();
}

// ---- answers ----

void IPCameraSocket::onRead() {
  switch (state()) {
    case kDescribe:
    case kSetupVideo:
    case kSetupAudio:
    case kPlay:
      worker_.receive();
      readAnswer();
      return;
    default:
      park();
      return;
  }
}

// The dialogue is over: the connection is not serviced any more, and its next data holds the
// worker until Stop (or the end of the run flag, so a lost wake-up cannot hold it for ever).
void IPCameraSocket::park() {
  while (worker_.running() && !runEvent_.wait(kParkedWaitMs)) {
  }
}

void IPCameraSocket::readAnswer() {
  ByteBuffer& buffer = worker_.recvBuffer();
  const std::string_view text = buffer.text();
  if (buffer.size() > kMaxAnswerBytes) {
    DebugTrace("rtsp/udp: %d bytes without a whole answer, connection given up", buffer.size());
    worker_.requestStop();
    return;
  }
  const std::optional<AnswerHead> head = readAnswerHead(text);
  if (!head) return;
  const std::string_view header = head->header;
  if (state() == kDescribe) {
    if (!readDescribeAnswer(text, *head)) return;
    moveTo(config_->hasVideo ? kSetupVideo : config_->hasAudio ? kSetupAudio : kNoMedia);
    return;
  }
  // Status codes are not examined: an error answer moves the dialogue on like a success.
  if (buffer.size() < kMinAnswerBytes) return;
  switch (state()) {
    case kSetupVideo: {
      if (!hasRtspHeader(header, "Session")) {
        moveTo(kNoSession);
        return;
      }
      {
        std::lock_guard lock(dialogueLock_);
        session_ = rtspHeaderValue(header, "Session");
      }
      moveTo(config_->hasAudio ? kSetupAudio : kPlay);
      return;
    }
    case kSetupAudio:
      moveTo(kPlay);
      return;
    case kPlay:
      if (text.find(kSuccessCode) != std::string_view::npos) runEvent_.reset();
      moveTo(kPlaying);
      return;
    default:
      return;
  }
}

bool IPCameraSocket::readDescribeAnswer(std::string_view text, const AnswerHead& head) {
  // More than the announced length is accepted; less waits for the rest.
  if ((long long)text.size() < head.length()) return false;
  const SessionDescription description = readSessionDescription(
      text, *config_,
      {.reader = DescriptionReader::kIPCameraSocket, .codec = codecOfModel(config_->model),
       .mpeg4SizeReader = {}});
  {
    std::lock_guard lock(dialogueLock_);
    urls_.contentBase = description.contentBase;
    videoControl_ = description.videoControl;
    audioControl_ = description.audioControl;
  }
  audioCodec_.store(config_->audioCodec, std::memory_order_relaxed);
  if (onDescribed_) onDescribed_(*config_);
  return true;
}

}  // namespace vexa
