#include "protocol/rtsp/InterleavedRtspSession.h"

#include <array>
#include <random>

#include "common/DebugTrace.h"
#include "platform/Environment.h"
#include "protocol/rtsp/InterleavedSplitter.h"

namespace vexa {

namespace {

constexpr std::string_view kTunnelGetMethod = "GET";

constexpr uint8_t kVideoRtpChannel = 0;
constexpr uint8_t kVideoRtcpChannel = 1;
constexpr uint8_t kAudioRtpChannel = 2;
constexpr uint8_t kAudioRtcpChannel = 3;

uint32_t drawSenderSsrc() {
  std::random_device source;
  return source();
}

}  // namespace

InterleavedRtspSession::InterleavedRtspSession(const InterleavedCodecPolicy& policy,
                                               InterleavedVideoPath& video,
                                               const platform::Clock& clock,
                                               const platform::AudioOutputFactory& audioOutput)
    : policy_(policy),
      video_(video),
      worker_({.read = [this] { onRead(); },
               .write = [this] { onWrite(); },
               .tick = [this] { onTick(); },
               .connected = [this](int error) { onConnected(error); }}),
      exchange_(worker_, clock),
      dialogueActions_{.sendAgain = [this] { onWrite(); },
                       .follow = [this](const rtsp::RedirectTarget& target) { follow(target); },
                       .proceed = [this](const RtspAnswer& answer) { proceed(answer); },
                       .skip = [this] { moveTo(kPlay); }},
      audio_(audioOutput),
      videoRtcp_(MediaClock::kVideo, clock, platform::computerName(), drawSenderSsrc()),
      audioRtcp_(MediaClock::kAudio, clock, platform::computerName(), drawSenderSsrc()),
      tunnelCookie_(policy.tunnelled ? rtsp::drawTunnelCookie() : std::string()),
      tunnelPost_([this] { return worker_.running(); }) {}

InterleavedRtspSession::~InterleavedRtspSession() {
  worker_.stop();
  tunnelPost_.close();
}

bool InterleavedRtspSession::Play() {
  if (config_ == nullptr || worker_.running() || worker_.hasThread()) return false;
  urls_ = {.stream = rtsp::streamUrl(config_->host, config_->rtspPort, config_->path),
           .contentBase = {}};
  exchange_.begin({config_->userName, config_->password}, config_->host);
  state_ = kDescribe;
  cseq_ = 0;
  sessionId_.clear();
  sessionTimeout_.reset();
  hasAudio_ = false;
  tunnelPort_ = config_->rtspPort;
  video_.beginSession();
  audio_.beginSession();
  return worker_.play({.host = config_->host,
                       .port = config_->rtspPort,
                       .receiveBufferSize = policy_.receiveBufferSize});
}

void InterleavedRtspSession::Stop() {
  worker_.stop();
  tunnelPost_.close();
}

std::optional<int32_t> InterleavedRtspSession::audioCodec() const {
  if (!hasAudio_.load(std::memory_order_relaxed)) return std::nullopt;
  return audioCodec_.load(std::memory_order_relaxed);
}

// ---- requests ----

std::string InterleavedRtspSession::requestFor(State state) {
  switch (state) {
    case kDescribe:
      return rtsp::describeRequest(urls_.stream, cseq_++);
    case kSetupVideo:
      return rtsp::interleavedSetupRequest(urls_.control(videoControl_), cseq_++, kVideoRtpChannel);
    case kSetupAudio:
      // Without the video's session a standard server opens a second session for the audio,
      // and PLAY on the first never starts it (RFC 2326 section 10.4).
      return rtsp::interleavedSetupRequest(urls_.control(audioControl_), cseq_++, kAudioRtpChannel,
                                           sessionId_);
    case kPlay:
      return rtsp::playRequest(urls_.session(), cseq_++, sessionId_);
    case kTornDown:
      return rtsp::teardownRequest(urls_.session(), cseq_++, sessionId_);
    case kPlaying:
      break;
  }
  return {};
}

void InterleavedRtspSession::send(std::string_view request) {
  // With the video set up, a refused audio track leaves the video to play alone.
  const bool optional = state() == kSetupAudio && !sessionId_.empty();
  deliver(exchange_.prepare(request, optional));
}

void InterleavedRtspSession::deliver(std::string_view bytes) {
  if (!policy_.tunnelled) {
    worker_.sendAll(bytes);
  } else if (!tunnelPost_.sendEncoded(bytes) && worker_.running()) {
    worker_.endConnection({StreamFault::kConnectionLost, "tunnel POST"});
  }
}

void InterleavedRtspSession::onWrite() {
  if (policy_.tunnelled && !tunnelOpen_) {
    if (!tunnelGetSent_) {
      tunnelGetSent_ = true;
      // A camera that takes the connection but never opens the tunnel must not hold it forever.
      exchange_.expectAnswerTo(kTunnelGetMethod);
      worker_.sendAll(rtsp::tunnelGetRequest(config_->path, tunnelCookie_,
                                             {config_->userName, config_->password}));
    }
    return;
  }
  const std::string request = requestFor(State(state()));
  if (!request.empty()) send(request);
}

void InterleavedRtspSession::moveTo(State next) {
  state_ = next;
  onWrite();
}

void InterleavedRtspSession::sendKeepAlive(std::string_view method) {
  send(rtsp::keepAliveRequest(method, urls_.session(), cseq_++, sessionId_));
}

void InterleavedRtspSession::onTick() {
  if (state() == kPlaying) {
    if (const auto method = exchange_.keepAliveDue()) sendKeepAlive(*method);
  } else if (state() != kTornDown && exchange_.answerOverdue()) {
    worker_.endConnection({StreamFault::kNoAnswer, exchange_.pendingMethod()});
  }
}

// ---- answers ----

void InterleavedRtspSession::onRead() {
  worker_.receive();
  readReceived();
}

// Each connection, the first and any a redirect makes, is the GET of a new tunnel whose POST
// connects beside it at once.
void InterleavedRtspSession::onConnected(int error) {
  if (!policy_.tunnelled || error != 0) return;
  tunnelGetSent_ = false;
  tunnelOpen_ = false;
  if (const int postError = tunnelPost_.open(worker_.peerAddress(), tunnelPort_); postError != 0) {
    worker_.endConnection({StreamFault::kConnectFailed, "tunnel POST"});
  }
}

// Before the tunnel opens, the GET's HTTP answer is read; true while it keeps the dialogue waiting.
bool InterleavedRtspSession::tunnelWaits() {
  if (!policy_.tunnelled || tunnelOpen_) return false;
  ByteBuffer& buffer = worker_.recvBuffer();
  const rtsp::TunnelOpening opening = rtsp::readTunnelOpening(buffer.text());
  switch (opening.kind) {
    case rtsp::TunnelOpening::Kind::kIncomplete:
      if (buffer.size() > kMaxAnswerBytes) worker_.endConnection({StreamFault::kAnswerUnreadable, {}});
      return true;
    case rtsp::TunnelOpening::Kind::kRefused:
      worker_.endConnection(errorAnswer(opening.statusLine, kTunnelGetMethod,
                                        rtsp::refusesCredentials(opening.statusLine)
                                            ? StreamFault::kAuthenticationRefused
                                            : StreamFault::kErrorAnswer));
      return true;
    case rtsp::TunnelOpening::Kind::kOpen:
      openTunnel(opening.headerLength);
      return !connectionGoesOn();
  }
  return true;
}

// Only the HTTP header goes: an RTSP answer may follow it in the same read.
void InterleavedRtspSession::openTunnel(size_t headerLength) {
  worker_.recvBuffer().eraseFront(int32_t(headerLength));
  tunnelOpen_ = true;
  const std::string header =
      rtsp::tunnelPostHeader(config_->path, tunnelCookie_, {config_->userName, config_->password});
  // Without a worker (bytes fed by the caller) nothing is sent, and the dialogue reads on.
  if (!tunnelPost_.start(header) && worker_.running()) {
    worker_.endConnection({StreamFault::kConnectFailed, "tunnel POST"});
    return;
  }
  onWrite();
}

void InterleavedRtspSession::onReceived(std::span<const uint8_t> bytes) {
  worker_.recvBuffer().append(bytes.data(), int32_t(bytes.size()));
  readReceived();
}

// An answer that ends the connection records why; what follows it in the buffer is not read.
bool InterleavedRtspSession::connectionGoesOn() const { return !worker_.status().failure(); }

void InterleavedRtspSession::readReceived() {
  if (tunnelWaits()) return;
  if (state() == kPlaying) {
    readFrames();
  } else if (state() != kTornDown) {
    readAnswers();
  }
}

void InterleavedRtspSession::readAnswers() {
  ByteBuffer& buffer = worker_.recvBuffer();
  while (state() != kPlaying && state() != kTornDown && connectionGoesOn()) {
    const std::optional<RtspAnswer> answer = readRtspAnswer(buffer.text());
    if (!answer) {
      if (buffer.size() > kMaxAnswerBytes) worker_.endConnection({StreamFault::kAnswerUnreadable, {}});
      return;
    }
    buffer.eraseFront(int32_t(answer->length));
    exchange_.take(*answer, dialogueActions_);
  }
  // Interleaved data may follow the PLAY answer in the same read.
  if (state() == kPlaying) readFrames();
}

void InterleavedRtspSession::proceed(const RtspAnswer& answer) {
  switch (state()) {
    case kDescribe:
      readDescribeAnswer(answer);
      if (config_->hasVideo || config_->hasAudio) {
        moveTo(config_->hasVideo ? kSetupVideo : kSetupAudio);
      } else {
        worker_.status().fail({StreamFault::kErrorAnswer, "no video or audio described"});
        moveTo(kTornDown);
      }
      return;
    case kSetupVideo:
    case kSetupAudio:
      // The audio-only stream takes its session from the audio SETUP.
      if (sessionId_.empty()) {
        if (const std::optional<SessionHeader> session = readSessionHeader(answer.head)) {
          sessionId_ = session->id;
          sessionTimeout_ = session->timeoutSeconds;
        }
      }
      moveTo(state() == kSetupVideo && config_->hasAudio ? kSetupAudio : kPlay);
      return;
    case kPlay:
      startPlaying();
      return;
    default:
      return;
  }
}

void InterleavedRtspSession::readDescribeAnswer(const RtspAnswer& answer) {
  if (policy_.usesContentBase) urls_.contentBase = readContentBase(answer.head);
  const SessionDescription description = readSessionDescription(
      answer.text(), *config_, {.reader = DescriptionReader::kInterleaved, .codec = policy_.codec});
  audioCodec_.store(config_->audioCodec, std::memory_order_relaxed);
  hasAudio_.store(config_->hasAudio != 0, std::memory_order_relaxed);
  if (description.audioCodecIndex) audio_.setCodec(*description.audioCodecIndex);
  videoControl_ = description.videoControl;
  audioControl_ = description.audioControl;
  video_.configure(*config_);
  if (recorder_ != nullptr) recorder_->describeStream(recordedFactsOf(*config_));
}

void InterleavedRtspSession::startPlaying() {
  state_ = kPlaying;
  worker_.status().markPlaying();
  exchange_.startKeepAlive(sessionTimeout_);
}

// A redirect starts the dialogue again at the new URL, on a new connection.
void InterleavedRtspSession::follow(const rtsp::RedirectTarget& target) {
  DebugTrace("rtsp: redirected to %s", target.url.c_str());
  urls_ = {.stream = target.url, .contentBase = {}};
  sessionId_.clear();
  state_ = kDescribe;
  tunnelPort_ = target.port;
  worker_.reconnect({.host = target.host,
                     .port = target.port,
                     .receiveBufferSize = policy_.receiveBufferSize});
}

// ---- playing ----

void InterleavedRtspSession::readFrames() {
  InterleavedSplitter::split(
      worker_.recvBuffer(),
      [this](uint8_t channel, std::span<const uint8_t> body) { onFrame(channel, body); },
      [this](const RtspAnswer& answer) {
        exchange_.takeWhilePlaying(answer, [this] { sendKeepAlive(exchange_.keepAliveMethod()); });
      });
}

void InterleavedRtspSession::onFrame(uint8_t channel, std::span<const uint8_t> body) {
  switch (channel) {
    case kVideoRtpChannel:
      videoBytes_.fetch_add(uint32_t(body.size()), std::memory_order_relaxed);
      mediaPackets_.fetch_add(1, std::memory_order_relaxed);
      video_.onPacket(body);
      return;
    case kAudioRtpChannel:
      mediaPackets_.fetch_add(1, std::memory_order_relaxed);
      audio_.onPacket(body);
      return;
    case kVideoRtcpChannel:
    case kAudioRtcpChannel:
      answerRtcp(channel, body);
      return;
    default:
      return;
  }
}

// Every RTCP packet is answered at once with a receiver report on the same channel.
void InterleavedRtspSession::answerRtcp(uint8_t channel, std::span<const uint8_t> rtcp) {
  const bool video = channel == kVideoRtcpChannel;
  const ReceptionFigures figures = video ? video_.figures() : audio_.figures();
  const auto report = (video ? videoRtcp_ : audioRtcp_).process(rtcp, figures);
  std::array<uint8_t, InterleavedSplitter::kFrameHeaderSize + IPCameraRTCPPacket::kReportSize> frame{
      InterleavedSplitter::kFrameMarker, channel, 0, uint8_t(IPCameraRTCPPacket::kReportSize)};
  std::copy(report.begin(), report.end(), frame.begin() + InterleavedSplitter::kFrameHeaderSize);
  deliver({reinterpret_cast<const char*>(frame.data()), frame.size()});
}

}  // namespace vexa
