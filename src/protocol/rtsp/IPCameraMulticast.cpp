#include "protocol/rtsp/IPCameraMulticast.h"

#include <string_view>

#include "common/DebugTrace.h"
#include "net/InterfaceChoice.h"
#include "protocol/rtsp/MulticastTransport.h"

namespace vexa {

namespace {

// Standard servers describe a multicast stream they place only at SETUP: port 0, or a
// connection address that is no group ("c=IN IP4 0.0.0.0"). A description without any
// connection line still plays its ports unjoined.
bool groupLeftToSetup(const MulticastVideoSlot& video, const std::string& group) {
  return video.port == 0 || (!group.empty() && !rtsp::isMulticastGroup(group));
}

}  // namespace

IPCamera_Multicast_Handler::IPCamera_Multicast_Handler(StartMedia startMedia,
                                                       const platform::Clock& clock)
    : startMedia_(std::move(startMedia)),
      worker_({.read = [this] { onRead(); },
                .write = [this] { onWrite(); },
                .tick = [this] { onTick(); }}),
      setup_(worker_, clock,
             [this](const rtsp::MulticastTransport& video,
                    const std::optional<rtsp::MulticastTransport>& audio) {
               joinSetUp(video, audio);
             }) {}

IPCamera_Multicast_Handler::~IPCamera_Multicast_Handler() { worker_.stop(); }

bool IPCamera_Multicast_Handler::Play() {
  if (config_ == nullptr || worker_.running() || worker_.hasThread()) return false;
  {
    std::lock_guard lock(readingLock_);
    reading_ = rtsp::MulticastDescribeReading(config_->model);
    describeAuth_.setCredentials({config_->userName, config_->password});
    describeChallenged_ = false;
    setup_.reset();
    videoAsked_ = false;
    description_ = {};
  }
  step_ = rtsp::MulticastDescribeStep::kVideo;
  return worker_.play({.host = config_->host, .port = config_->rtspPort});
}

void IPCamera_Multicast_Handler::Stop() {
  std::string teardown;
  {
    std::lock_guard lock(readingLock_);
    teardown = setup_.teardown();
  }
  // sendAll sends nothing once the worker has ended (the server closed the connection).
  if (!teardown.empty()) worker_.sendAll(teardown);
  worker_.stop();
}

void IPCamera_Multicast_Handler::onWrite() {
  std::lock_guard lock(readingLock_);
  // The write step also runs after a send blocked; the video is asked for once.
  if (videoAsked_ || config_ == nullptr) return;
  videoAsked_ = true;
  worker_.sendAll(describeRequest(rtsp::MulticastDescribeStep::kVideo));
}

void IPCamera_Multicast_Handler::onTick() {
  std::lock_guard lock(readingLock_);
  setup_.onTick();
}

void IPCamera_Multicast_Handler::onRead() {
  if (worker_.receive() <= 0) return;
  std::lock_guard lock(readingLock_);
  takeReceived();
}

void IPCamera_Multicast_Handler::onReceived(std::span<const uint8_t> bytes) {
  std::lock_guard lock(readingLock_);
  worker_.recvBuffer().append(bytes.data(), int32_t(bytes.size()));
  takeReceived();
}

void IPCamera_Multicast_Handler::takeReceived() {
  ByteBuffer& received = worker_.recvBuffer();
  if (setup_.state() != rtsp::MulticastSetup::State::kIdle) {
    setup_.readAnswers(received);
    return;
  }
  readDescriptions();
}

void IPCamera_Multicast_Handler::readDescriptions() {
  if (config_ == nullptr || step() == rtsp::MulticastDescribeStep::kDone) return;
  ByteBuffer& received = worker_.recvBuffer();
  const std::string text(received.text());
  // The reading keeps what it waits on; the rest belongs to no request of ours.
  received.clear();
  take(reading_.onReceived(text));
}

void IPCamera_Multicast_Handler::take(rtsp::MulticastReadAction action) {
  switch (action) {
    case rtsp::MulticastReadAction::kWait:
      return;
    case rtsp::MulticastReadAction::kSendAudioDescribe:
      describeAuth_.onAnswered();
      step_ = rtsp::MulticastDescribeStep::kAudio;
      worker_.sendAll(describeRequest(rtsp::MulticastDescribeStep::kAudio));
      return;
    case rtsp::MulticastReadAction::kFinish:
      describeAuth_.onAnswered();
      finish();
      return;
    case rtsp::MulticastReadAction::kGiveUp:
      worker_.endConnection({StreamFault::kAnswerUnreadable, "DESCRIBE"});
      return;
    case rtsp::MulticastReadAction::kAuthenticate:
      authenticate();
      return;
  }
}

void IPCamera_Multicast_Handler::authenticate() {
  if (describeAuth_.onUnauthorized(reading_.challenge()) != auth::Authenticator::Verdict::kRetry) {
    DebugTrace("multicast: DESCRIBE refused: %s\n", describeAuth_.refusal().c_str());
    take(reading_.refuseAnswer());
    return;
  }
  describeChallenged_ = true;
  worker_.sendAll(describeRequest(reading_.step()));
}

std::string IPCamera_Multicast_Handler::describeRequest(rtsp::MulticastDescribeStep step) {
  if (describeChallenged_) {
    return describeAuth_.authorize(rtsp::multicastDescribeToAuthorize(*config_, step));
  }
  return step == rtsp::MulticastDescribeStep::kVideo ? rtsp::multicastVideoDescribe(*config_)
                                                     : rtsp::multicastAudioDescribe(*config_);
}

MulticastJoin IPCamera_Multicast_Handler::joinOn(std::string group) {
  // The camera's own address, not the host text: a name or a proxy's address tells nothing of
  // the network the group arrives on.
  const std::string camera = worker_.peerAddress();
  MulticastJoin join{std::move(group), net::multicastInterface(worker_.localAddress(), camera), {}};
  DebugTrace("multicast: group \"%s\" on interface %s\n", join.group.c_str(),
             join.interfaceAddress.c_str());
  return join;
}

void IPCamera_Multicast_Handler::finish() {
  description_ = {};
  description_.readConnection = 1;
  parseMulticastDescription(reading_.descriptionText(), description_);
  applyMulticastDescription(description_, *config_);
  step_ = rtsp::MulticastDescribeStep::kDone;
  const MulticastVideoSlot* video = playedVideoSlot(description_, config_->model);
  if (video != nullptr && groupLeftToSetup(*video, description_.groupAddress)) {
    beginSetup(*video);
    return;
  }
  const MulticastJoin join = joinOn(description_.groupAddress);
  worker_.status().markPlaying();
  if (startMedia_) startMedia_(*config_, join);
  // The stream does not depend on the connection: it ends here.
  worker_.requestStop();
}

void IPCamera_Multicast_Handler::beginSetup(const MulticastVideoSlot& video) {
  rtsp::MulticastSetup::Tracks tracks{
      .urls = {.stream = rtsp::streamUrl(config_->host, config_->rtspPort, config_->path),
               .contentBase = reading_.contentBase()},
      .videoControl = video.control,
      .audioControl = std::nullopt};
  if (description_.hasAudio) tracks.audioControl = description_.audioControl;
  setup_.begin(std::move(tracks), {config_->userName, config_->password}, config_->host);
}

void IPCamera_Multicast_Handler::joinSetUp(const rtsp::MulticastTransport& video,
                                           const std::optional<rtsp::MulticastTransport>& audio) {
  config_->videoRtpPort = video.rtpPort;
  config_->videoRtcpPort = video.rtcpPort;
  MulticastJoin join = joinOn(video.group);
  if (audio) {
    config_->audioRtpPort = audio->rtpPort;
    config_->audioRtcpPort = audio->rtcpPort;
    if (audio->group != video.group) join.audioGroup = audio->group;
  }
  if (startMedia_) startMedia_(*config_, join);
}

}  // namespace vexa
