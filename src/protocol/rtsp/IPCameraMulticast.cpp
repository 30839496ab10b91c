#include "protocol/rtsp/IPCameraMulticast.h"

#include <string_view>

#include "common/DebugTrace.h"
#include "net/InterfaceChoice.h"

namespace vexa {

IPCamera_Multicast_Handler::IPCamera_Multicast_Handler(StartMedia startMedia)
    : startMedia_(std::move(startMedia)),
      worker_({.read = [this] { onRead(); }, .write = [this] { onWrite(); }}) {}

IPCamera_Multicast_Handler::~IPCamera_Multicast_Handler() { worker_.stop(); }

bool IPCamera_Multicast_Handler::Play() {
  if (config_ == nullptr || worker_.running() || worker_.hasThread()) return false;
  {
    std::lock_guard lock(readingLock_);
    reading_ = rtsp::MulticastDescribeReading(config_->model);
    videoAsked_ = false;
    description_ = {};
  }
  step_ = rtsp::MulticastDescribeStep::kVideo;
  return worker_.play({.host = config_->host, .port = config_->rtspPort});
}

void IPCamera_Multicast_Handler::Stop() { worker_.stop(); }

void IPCamera_Multicast_Handler::onWrite() {
  std::lock_guard lock(readingLock_);
  // The write step also runs after a send blocked; the video is asked for once.
  if (videoAsked_ || config_ == nullptr) return;
  videoAsked_ = true;
  worker_.sendAll(rtsp::multicastVideoDescribe(*config_));
}

void IPCamera_Multicast_Handler::onRead() {
  if (worker_.receive() <= 0) return;
  ByteBuffer& received = worker_.recvBuffer();
  const std::span<const uint8_t> bytes(received.data(), received.size());
  onReceived(bytes);
  received.clear();
}

void IPCamera_Multicast_Handler::onReceived(std::span<const uint8_t> bytes) {
  std::lock_guard lock(readingLock_);
  if (config_ == nullptr || step() == rtsp::MulticastDescribeStep::kDone) return;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  switch (reading_.onReceived(text)) {
    case rtsp::MulticastReadAction::kWait:
      return;
    case rtsp::MulticastReadAction::kSendAudioDescribe:
      step_ = rtsp::MulticastDescribeStep::kAudio;
      worker_.sendAll(rtsp::multicastAudioDescribe(*config_));
      return;
    case rtsp::MulticastReadAction::kFinish:
      finish();
      return;
    case rtsp::MulticastReadAction::kGiveUp:
      worker_.endConnection({StreamFault::kAnswerUnreadable, "DESCRIBE"});
      return;
  }
}

void IPCamera_Multicast_Handler::finish() {
  description_ = {};
  description_.readConnection = 1;
  parseMulticastDescription(reading_.descriptionText(), description_);
  applyMulticastDescription(description_, *config_);
  // The camera's own address, not the host text: a name or a proxy's address tells nothing of
  // the network the group arrives on.
  const std::string camera = worker_.peerAddress();
  const MulticastJoin join{description_.groupAddress,
                           net::multicastInterface(worker_.localAddress(), camera)};
  DebugTrace("multicast: group \"%s\" on interface %s\n", join.group.c_str(),
             join.interfaceAddress.c_str());
  step_ = rtsp::MulticastDescribeStep::kDone;
  worker_.status().markPlaying();
  if (startMedia_) startMedia_(*config_, join);
  // The stream does not depend on the connection: it ends here.
  worker_.requestStop();
}

}  // namespace vexa
