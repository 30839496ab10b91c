#include "protocol/rtsp/IPCameraSocket.h"

#include "common/DebugTrace.h"
#include "common/VideoModel.h"

namespace vexa {

namespace {

DescribedVideoCodec codecOfModel(uint32_t model) {
  if (isH264Model(model)) return DescribedVideoCodec::kH264;
  if (isMpeg4Model(model)) return DescribedVideoCodec::kMpeg4;
  return DescribedVideoCodec::kJpeg;
}

}  // namespace

IPCameraSocket::IPCameraSocket(DescribedStep onDescribed, const platform::Clock& clock)
    : onDescribed_(std::move(onDescribed)),
      worker_({.read = [this] { onRead(); },
               .write = [this] { onWrite(); },
               .tick = [this] { onTick(); }}),
      exchange_(worker_, clock),
      dialogueActions_{.sendAgain = [this] { sendRequestOfState(); },
                       .follow = [this](const rtsp::RedirectTarget& target) { follow(target); },
                       .proceed = [this](const RtspAnswer& answer) { proceed(answer); },
                       .skip = [this] { moveTo(kPlay); }} {}

IPCameraSocket::~IPCameraSocket() { worker_.stop(); }

bool IPCameraSocket::Play() {
  if (config_ == nullptr || worker_.running() || worker_.hasThread()) return false;
  {
    std::lock_guard lock(dialogueLock_);
    urls_ = {.stream = rtsp::streamUrl(config_->host, config_->rtspPort, config_->path),
             .contentBase = {}};
    exchange_.begin({config_->userName, config_->password}, config_->host);
    sessionId_.clear();
    sessionTimeout_.reset();
  }
  state_ = kDescribe;
  hasAudio_ = false;
  return worker_.play({.host = config_->host, .port = config_->rtspPort});
}

void IPCameraSocket::Stop() {
  state_ = kTornDown;
  if (config_ != nullptr) {
    std::string teardown;
    {
      std::lock_guard lock(dialogueLock_);
      teardown = exchange_.prepare(requestFor(kTornDown));
    }
    // sendAll sends nothing once the worker has ended (the camera closed the connection).
    worker_.sendAll(teardown);
  }
  worker_.stop();
}

std::optional<int32_t> IPCameraSocket::audioCodec() const {
  if (!hasAudio_.load(std::memory_order_relaxed)) return std::nullopt;
  return audioCodec_.load(std::memory_order_relaxed);
}

// ---- requests ----

std::string IPCameraSocket::requestFor(State state) {
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
                                   config_->audioRtpPort, config_->audioRtcpPort, extra, sessionId_);
    case kPlay:
      return rtsp::udpPlayRequest(urls_.session(), config_->cseq++, sessionId_, extra);
    case kTornDown:
      return rtsp::udpTeardownRequest(urls_.session(), config_->cseq++, sessionId_, extra);
    default:
      return {};
  }
}

void IPCameraSocket::send(std::string_view request) {
  // With the video set up, a refused audio track leaves the video to play alone.
  const bool optional = state() == kSetupAudio && !sessionId_.empty();
  exchange_.send(request, optional);
}

void IPCameraSocket::sendKeepAlive(std::string_view method) {
  send(rtsp::keepAliveRequest(method, urls_.session(), config_->cseq++, sessionId_,
                              config_->extraHeaderLine));
}

void IPCameraSocket::sendRequestOfState() {
  const std::string request = requestFor(State(state()));
  if (!request.empty()) send(request);
}

void IPCameraSocket::onWrite() {
  std::lock_guard lock(dialogueLock_);
  sendRequestOfState();
}

void IPCameraSocket::moveTo(State next) {
  state_ = next;
  sendRequestOfState();
}

// A final state the dialogue cannot go on from; the owner restarts it.
void IPCameraSocket::endWith(State final, StreamFailure failure) {
  state_ = final;
  worker_.status().fail(std::move(failure));
}

void IPCameraSocket::onTick() {
  std::lock_guard lock(dialogueLock_);
  switch (state()) {
    case kPlaying:
      if (const auto method = exchange_.keepAliveDue()) sendKeepAlive(*method);
      return;
    case kDescribe:
    case kSetupVideo:
    case kSetupAudio:
    case kPlay:
      if (exchange_.answerOverdue()) {
        worker_.endConnection({StreamFault::kNoAnswer, exchange_.pendingMethod()});
      }
      return;
    default:
      return;
  }
}

// ---- answers ----

void IPCameraSocket::onRead() {
  std::lock_guard lock(dialogueLock_);
  worker_.receive();
  readReceived();
}

void IPCameraSocket::onReceived(std::span<const uint8_t> bytes) {
  std::lock_guard lock(dialogueLock_);
  worker_.recvBuffer().append(bytes.data(), int32_t(bytes.size()));
  readReceived();
}

// An answer that ends the connection records why; what follows it in the buffer is not read.
bool IPCameraSocket::connectionGoesOn() const { return !worker_.status().failure(); }

void IPCameraSocket::readReceived() {
  switch (state()) {
    case kDescribe:
    case kSetupVideo:
    case kSetupAudio:
    case kPlay:
    case kPlaying:
      readAnswers();
      return;
    default:
      // The dialogue is over: whatever comes is not waited for.
      worker_.recvBuffer().clear();
      return;
  }
}

void IPCameraSocket::readAnswers() {
  ByteBuffer& buffer = worker_.recvBuffer();
  while (connectionGoesOn()) {
    const std::optional<RtspAnswer> answer = readRtspAnswer(buffer.text());
    if (!answer) {
      if (buffer.size() <= kMaxAnswerBytes) return;
      if (state() == kPlaying) {
        buffer.clear();  // the media runs elsewhere: drop what no answer came of
      } else {
        worker_.endConnection({StreamFault::kAnswerUnreadable, {}});
      }
      return;
    }
    buffer.eraseFront(int32_t(answer->length));
    if (state() == kPlaying) {
      exchange_.takeWhilePlaying(*answer, [this] { sendKeepAlive(exchange_.keepAliveMethod()); });
    } else if (state() <= kPlay) {
      exchange_.take(*answer, dialogueActions_);
    }
  }
}

void IPCameraSocket::proceed(const RtspAnswer& answer) {
  switch (state()) {
    case kDescribe:
      readDescribeAnswer(answer);
      if (config_->hasVideo) {
        moveTo(kSetupVideo);
      } else if (config_->hasAudio) {
        moveTo(kSetupAudio);
      } else {
        endWith(kNoMedia, {StreamFault::kErrorAnswer, "no video or audio described"});
      }
      return;
    case kSetupVideo:
      takeSession(answer);
      if (sessionId_.empty()) {
        endWith(kNoSession, {StreamFault::kErrorAnswer, "no session in the answer to SETUP"});
        return;
      }
      moveTo(config_->hasAudio ? kSetupAudio : kPlay);
      return;
    case kSetupAudio:
      // The audio-only stream takes its session from the audio SETUP.
      if (sessionId_.empty()) takeSession(answer);
      moveTo(kPlay);
      return;
    case kPlay:
      startPlaying();
      return;
    default:
      return;
  }
}

void IPCameraSocket::takeSession(const RtspAnswer& answer) {
  if (const std::optional<SessionHeader> session = readSessionHeader(answer.head)) {
    sessionId_ = session->id;
    sessionTimeout_ = session->timeoutSeconds;
  }
}

void IPCameraSocket::readDescribeAnswer(const RtspAnswer& answer) {
  const SessionDescription description = readSessionDescription(
      answer.text(), *config_,
      {.reader = DescriptionReader::kIPCameraSocket, .codec = codecOfModel(config_->model)});
  urls_.contentBase = description.contentBase;
  videoControl_ = description.videoControl;
  audioControl_ = description.audioControl;
  audioCodec_.store(config_->audioCodec, std::memory_order_relaxed);
  hasAudio_.store(config_->hasAudio != 0, std::memory_order_relaxed);
  talkPort_.store(config_->audioMediaPort, std::memory_order_relaxed);
  if (onDescribed_) onDescribed_(*config_);
}

void IPCameraSocket::startPlaying() {
  state_ = kPlaying;
  worker_.status().markPlaying();
  exchange_.startKeepAlive(sessionTimeout_);
}

// A redirect starts the dialogue again at the new URL, on a new connection.
void IPCameraSocket::follow(const rtsp::RedirectTarget& target) {
  DebugTrace("rtsp/udp: redirected to %s", target.url.c_str());
  urls_ = {.stream = target.url, .contentBase = {}};
  sessionId_.clear();
  state_ = kDescribe;
  worker_.reconnect({.host = target.host, .port = target.port});
}

}  // namespace vexa
