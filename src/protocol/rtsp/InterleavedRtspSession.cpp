#include "protocol/rtsp/InterleavedRtspSession.h"

#include <array>
#include <random>

#include "common/DebugTrace.h"
#include "common/TextFields.h"
#include "platform/Environment.h"
#include "protocol/rtsp/RtspRequests.h"
#include "protocol/rtsp/InterleavedSplitter.h"
#include "protocol/rtsp/RtspHeaders.h"

namespace vexa {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kRtspScheme = "rtsp://";
// An answer (headers and description) larger than this is not one a camera sends: the
// connection is given up rather than buffered without end.
constexpr int32_t kMaxAnswerBytes = 256 * 1024;
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
      worker_({.read = [this] { onRead(); }, .write = [this] { onWrite(); }}),
      audio_(audioOutput),
      videoRtcp_(MediaClock::kVideo, clock, platform::computerName(), drawSenderSsrc()),
      audioRtcp_(MediaClock::kAudio, clock, platform::computerName(), drawSenderSsrc()) {}

InterleavedRtspSession::~InterleavedRtspSession() { worker_.stop(); }

bool InterleavedRtspSession::Play() {
  if (config_ == nullptr) return false;
  return worker_.play({.host = config_->host,
                       .port = config_->rtspPort,
                       .receiveBufferSize = policy_.receiveBufferSize});
}

void InterleavedRtspSession::Stop() { worker_.stop(); }

// ---- requests ----

std::string InterleavedRtspSession::streamUrl() const {
  return std::string(kRtspScheme) + config_->host + config_->path;
}

std::string InterleavedRtspSession::controlUrl(const std::string& control) const {
  // Without a Content-Base the request URL is the base (RFC 2326 section C.1.1).
  const std::string base =
      policy_.usesContentBase && !baseUrl_.empty() ? baseUrl_ : streamUrl() + "/";
  return composeControlUrl(base, control);
}

std::string InterleavedRtspSession::sessionUrl() const {
  return policy_.usesContentBase && !baseUrl_.empty() ? baseUrl_ : streamUrl();
}

std::string InterleavedRtspSession::requestFor(State state) {
  switch (state) {
    case kDescribe:
      return rtsp::describeRequest(streamUrl(), cseq_++);
    case kSetupVideo:
      return rtsp::interleavedSetupRequest(controlUrl(videoControl_), cseq_++, kVideoRtpChannel);
    case kSetupAudio:
      // Without the video's session a standard server opens a second session for the audio,
      // and PLAY on the first never starts it (RFC 2326 section 10.4).
      return rtsp::interleavedSetupRequest(controlUrl(audioControl_), cseq_++, kAudioRtpChannel,
                                           session_);
    case kPlay:
      return rtsp::playRequest(sessionUrl(), cseq_++, session_);
    case kTornDown:
      return rtsp::teardownRequest(sessionUrl(), cseq_++, session_);
    case kPlaying:
      break;
  }
  return {};
}

void InterleavedRtspSession::onWrite() {
  const std::string request = requestFor(State(state()));
  if (!request.empty()) worker_.sendAll(request);
}

void InterleavedRtspSession::moveTo(State next) {
  state_ = next;
  worker_.recvBuffer().clear();
  onWrite();
}

// ---- answers ----

void InterleavedRtspSession::onRead() {
  worker_.receive();
  if (state() == kPlaying) {
    readFrames();
  } else if (state() != kTornDown) {
    readAnswer();
  }
}

void InterleavedRtspSession::readAnswer() {
  ByteBuffer& buffer = worker_.recvBuffer();
  const std::string_view text = buffer.text();
  const size_t headerLength = text.find(kHeaderEnd);
  if (headerLength == std::string_view::npos) {
    if (buffer.size() > kMaxAnswerBytes) {
      DebugTrace("rtsp: %d bytes without an answer header, connection given up", buffer.size());
      worker_.requestStop();
    }
    return;
  }
  // The status line is not examined: an error answer moves the dialogue on like a success.
  const std::string_view header = text.substr(0, headerLength + 2);
  switch (state()) {
    case kDescribe:
      if (!readDescribeAnswer(text, headerLength)) return;
      moveTo(config_->hasVideo ? kSetupVideo : config_->hasAudio ? kSetupAudio : kTornDown);
      return;
    case kSetupVideo:
      session_ = rtspHeaderValue(header, "Session");
      moveTo(config_->hasAudio ? kSetupAudio : kPlay);
      return;
    case kSetupAudio:
      audioSession_ = rtspHeaderValue(header, "Session");
      moveTo(kPlay);
      return;
    case kPlay:
      // Interleaved data may follow the answer in the same read.
      buffer.eraseFront(int32_t(headerLength + kHeaderEnd.size()));
      state_ = kPlaying;
      readFrames();
      return;
    default:
      return;
  }
}

bool InterleavedRtspSession::readDescribeAnswer(std::string_view text, size_t headerLength) {
  const std::string_view header = text.substr(0, headerLength + 2);
  const long long contentLength = parseLeadingInteger(rtspHeaderValue(header, "Content-Length"));
  if (policy_.usesContentBase) baseUrl_ = readContentBase(header);
  // Only an answer of exactly the announced size is read.
  const long long expected = (long long)(headerLength + kHeaderEnd.size()) + contentLength;
  if ((long long)text.size() != expected) {
    if (worker_.recvBuffer().size() > kMaxAnswerBytes) {
      DebugTrace("rtsp: DESCRIBE answer of %zu bytes never matched its length", text.size());
      worker_.requestStop();
    }
    return false;
  }
  const SessionDescription description = readSessionDescription(
      text, *config_,
      {.reader = DescriptionReader::kInterleaved, .codec = policy_.codec, .mpeg4SizeReader = {}});
  audioCodec_.store(config_->audioCodec, std::memory_order_relaxed);
  if (description.audioCodecIndex) audio_.setCodec(*description.audioCodecIndex);
  videoControl_ = description.videoControl;
  audioControl_ = description.audioControl;
  video_.configure(*config_);
  return true;
}

// ---- playing ----

void InterleavedRtspSession::readFrames() {
  InterleavedSplitter::split(worker_.recvBuffer(),
                             [this](uint8_t channel, std::span<const uint8_t> body) {
                               onFrame(channel, body);
                             });
}

void InterleavedRtspSession::onFrame(uint8_t channel, std::span<const uint8_t> body) {
  switch (channel) {
    case kVideoRtpChannel:
      videoBytes_.fetch_add(uint32_t(body.size()), std::memory_order_relaxed);
      video_.onPacket(body);
      return;
    case kAudioRtpChannel:
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
  const ReceptionFigures figures =
      video ? video_.figures() : audio_.figures();
  const auto report = (video ? videoRtcp_ : audioRtcp_).process(rtcp, figures);
  std::array<uint8_t, InterleavedSplitter::kFrameHeaderSize + IPCameraRTCPPacket::kReportSize> frame{
      InterleavedSplitter::kFrameMarker, channel, 0, uint8_t(IPCameraRTCPPacket::kReportSize)};
  std::copy(report.begin(), report.end(), frame.begin() + InterleavedSplitter::kFrameHeaderSize);
  worker_.sendAll(frame.data(), frame.size());
}

}  // namespace vexa
