#include "protocol/rtsp/InterleavedRtspSession.h"

#include <array>
#include <random>

#include "common/DebugTrace.h"
#include "platform/Environment.h"
#include "protocol/rtsp/RtspRequests.h"
#include "protocol/rtsp/InterleavedSplitter.h"
#include "protocol/rtsp/RtspHeaders.h"

namespace vexa {

namespace {

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
  urls_ = {.stream = rtsp::streamUrl(config_->host, config_->path), .contentBase = {}};
  return worker_.play({.host = config_->host,
                       .port = config_->rtspPort,
                       .receiveBufferSize = policy_.receiveBufferSize});
}

void InterleavedRtspSession::Stop() { worker_.stop(); }

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
                                           session_);
    case kPlay:
      return rtsp::playRequest(urls_.session(), cseq_++, session_);
    case kTornDown:
      return rtsp::teardownRequest(urls_.session(), cseq_++, session_);
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
  if (buffer.size() > kMaxAnswerBytes) {
    DebugTrace("rtsp: %d bytes without a whole answer, connection given up", buffer.size());
    worker_.requestStop();
    return;
  }
  const std::optional<AnswerHead> head = readAnswerHead(text);
  if (!head) return;
  // The status line is not examined: an error answer moves the dialogue on like a success.
  const std::string_view header = head->header;
  switch (state()) {
    case kDescribe:
      if (!readDescribeAnswer(text, *head)) return;
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
      buffer.eraseFront(int32_t(head->bodyOffset));
      state_ = kPlaying;
      readFrames();
      return;
    default:
      return;
  }
}

bool InterleavedRtspSession::readDescribeAnswer(std::string_view text, const AnswerHead& head) {
  if (policy_.usesContentBase) urls_.contentBase = readContentBase(head.header);
  // Only an answer of exactly the announced size is read.
  if ((long long)text.size() != head.length()) return false;
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
