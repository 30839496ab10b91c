#include "session/StreamRecovery.h"

#include <algorithm>

namespace vexa {

uint32_t RetryBackOff::nextDelayMs() {
  const uint32_t delay = delayMs_;
  delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
  return delay;
}

void StreamRecovery::attemptStarted(uint64_t mediaPackets) {
  waitingToRestart_ = false;
  attemptStartedAt_ = clock_.tickCount();
  playingSince_.reset();
  mediaSeen_ = false;
  lastMediaPackets_ = mediaPackets;
}

bool StreamRecovery::silentFor(uint32_t ms) const {
  const uint32_t since = mediaSeen_ ? lastMediaAt_ : playingSince_.value_or(attemptStartedAt_);
  return clock_.tickCount() - since >= ms;
}

void StreamRecovery::noteMedia(uint64_t mediaPackets) {
  if (mediaPackets == lastMediaPackets_) return;
  lastMediaPackets_ = mediaPackets;
  lastMediaAt_ = clock_.tickCount();
  if (!mediaSeen_) backOff_.reset();
  mediaSeen_ = true;
}

StreamRecovery::Action StreamRecovery::stopBecause(StreamFailure failure) {
  failure_ = std::move(failure);
  waitingToRestart_ = true;
  stoppedAt_ = clock_.tickCount();
  restartDelayMs_ = backOff_.nextDelayMs();
  return Action::kStop;
}

StreamRecovery::Action StreamRecovery::observe(const Observation& road) {
  const uint32_t now = clock_.tickCount();
  if (waitingToRestart_) return now - stoppedAt_ >= restartDelayMs_ ? Action::kRestart : Action::kNone;

  noteMedia(road.mediaPackets);
  if (road.playing && !playingSince_) playingSince_ = now;
  if (road.canFallBack && road.failure && road.failure->fault == StreamFault::kTransportRefused) {
    failure_ = road.failure;
    return Action::kFallBack;
  }
  // Over UDP the media may go on after the camera closed the RTSP connection (some do): a pause
  // in it ends such a stream.
  const bool mediaGoesOn = !road.mediaOnConnection && mediaSeen_ &&
                           !silentFor(kSilenceAfterConnectionLossMs);
  if ((road.ended || road.failure) && !mediaGoesOn) {
    return stopBecause(road.failure.value_or(StreamFailure{StreamFault::kConnectionLost, {}}));
  }
  if (!road.playing) return Action::kNone;
  if (road.canFallBack && !mediaSeen_ && !road.ended && silentFor(kFirstDatagramTimeoutMs)) {
    failure_ = StreamFailure{StreamFault::kNoMedia, "over UDP"};
    return Action::kFallBack;
  }
  if (silentFor(kNoMediaTimeoutMs)) return stopBecause({StreamFault::kNoMedia, {}});
  return Action::kNone;
}

}  // namespace vexa
