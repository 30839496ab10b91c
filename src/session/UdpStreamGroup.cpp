#include "session/UdpStreamGroup.h"

#include "platform/Thread.h"

namespace vexa {

namespace {
// The interface for a multicast join; unicast streams have none.
const std::string kAnyInterface;
}  // namespace

UdpStreamGroup::UdpStreamGroup(StreamConfig& config, H264Decoder* decoder,
                               RecordingSink* recorder,
                               const platform::AudioOutputFactory& audioOutput,
                               platform::Dialogs* dialogs)
    : ReceiverRoad(config, decoder, recorder, audioOutput, dialogs),
      videoRtcp_([this] { return video_.figures(); }),
      audioRtcp_([this] { return audio_.figures(); }),
      dialogue_([this](const StreamConfig& described) { takeDescription(described); }) {
  audioRtcp_.setMediaClock(MediaClock::kAudio);
}

UdpStreamGroup::~UdpStreamGroup() {
  // The reports read the receivers' figures: they end before the receivers do.
  audioRtcp_.stop();
  videoRtcp_.stop();
}

bool UdpStreamGroup::play() {
  dialogue_.setConfig(&config_);
  // The camera's address stands where a multicast group would; the manager joins only groups.
  const bool videoStarted =
      video_.start(config_.host, kAnyInterface, config_.videoRtpPort) == platform::kStarted;
  videoRtcp_.start(config_.host, config_.videoRtcpPort);
  const bool audioStarted =
      audio_.start(config_.audioRtpPort, config_.audioCodec) == platform::kStarted;
  audioRtcp_.start(config_.host, config_.audioRtcpPort);
  const bool dialogueStarted = dialogue_.Play();
  return videoStarted || audioStarted || dialogueStarted;
}

void UdpStreamGroup::stop() {
  video_.stop();
  dialogue_.Stop();
  audioRtcp_.stop();
  videoRtcp_.stop();
}

StreamRecovery::Observation UdpStreamGroup::observe() const {
  return {.ended = dialogue_.finished(),
          .playing = dialogue_.status().playing(),
          .failure = dialogue_.status().failure(),
          .mediaPackets = video_.packetsReceived() + audio_.packetsReceived(),
          .mediaOnConnection = false,
          .canFallBack = true};
}

}  // namespace vexa
