#include "session/MulticastRoad.h"

#include "common/DebugTrace.h"
#include "platform/Thread.h"

namespace vexa {

MulticastRoad::MulticastRoad(StreamConfig& config, H264Decoder* decoder, RecordingSink* recorder,
                             const platform::AudioOutputFactory& audioOutput,
                             platform::Dialogs* dialogs)
    : ReceiverRoad(config, decoder, recorder, audioOutput, dialogs),
      handler_([this](const StreamConfig& described, const MulticastJoin& join) {
        startMedia(described, join);
      }) {}

MulticastRoad::~MulticastRoad() {
  handler_.Stop();
  video_.stop();
  audio_.stop();
}

bool MulticastRoad::play() {
  // The ports come from the descriptions of this attempt, not from the last one.
  config_.videoRtpPort = 0;
  config_.audioRtpPort = 0;
  hasAudio_ = false;
  handler_.setConfig(&config_);
  return handler_.Play();
}

void MulticastRoad::stop() {
  video_.stop();
  audio_.stop();
  handler_.Stop();
}

void MulticastRoad::startMedia(const StreamConfig& described, const MulticastJoin& join) {
  takeDescription(described);
  if (described.videoRtpPort != 0 &&
      video_.start(join.group, join.interfaceAddress, described.videoRtpPort) != platform::kStarted) {
    DebugTrace("multicast: the video port %u did not start\n", described.videoRtpPort);
  }
  if (described.audioRtpPort == 0) return;
  audioCodec_ = described.audioCodec;
  hasAudio_ = true;
  const std::string& audioGroup = join.audioGroup.empty() ? join.group : join.audioGroup;
  audio_.start(described.audioRtpPort, described.audioCodec, audioGroup, join.interfaceAddress);
}

StreamRecovery::Observation MulticastRoad::observe() const {
  // The connection of a described group ends by design once the group is known: the media alone
  // tells whether the stream goes on.
  return {.ended = handler_.finished(),
          .playing = handler_.status().playing(),
          .failure = handler_.status().failure(),
          .mediaPackets = video_.packetsReceived() + audio_.packetsReceived(),
          .mediaOnConnection = false,
          .canFallBack = false};
}

std::optional<int32_t> MulticastRoad::audioCodec() const {
  if (!hasAudio_.load(std::memory_order_acquire)) return std::nullopt;
  return audioCodec_.load(std::memory_order_relaxed);
}

}  // namespace vexa
