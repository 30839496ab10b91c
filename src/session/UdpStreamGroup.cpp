#include "session/UdpStreamGroup.h"

#include "platform/Thread.h"

namespace vexa {

namespace {
// The interface for a multicast join; unicast streams have none.
const std::string kAnyInterface;
}  // namespace

UdpStreamGroup::UdpStreamGroup(StreamConfig& config)
    : config_(config),
      video_(config.model),
      videoRtcp_([this] { return video_.figures(); }),
      dialogue_([this](const StreamConfig& described) { video_.configure(described); }) {}

UdpStreamGroup::~UdpStreamGroup() = default;

bool UdpStreamGroup::play(H264Decoder* decoder) {
  dialogue_.setConfig(&config_);
  video_.setDecoder(decoder);
  // The camera's address stands where a multicast group would; the manager joins only groups.
  const bool videoStarted =
      video_.start(config_.host, kAnyInterface, config_.videoRtpPort) == platform::kStarted;
  videoRtcp_.start(config_.host, config_.videoRtcpPort);
  const bool dialogueStarted = dialogue_.Play();
  return videoStarted || dialogueStarted;
}

void UdpStreamGroup::stop() {
  video_.stop();
  dialogue_.Stop();
  videoRtcp_.stop();
}

}  // namespace vexa
