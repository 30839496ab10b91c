#include "media/Mpeg4PacketAssembler.h"

namespace vexa {

rtp::PushResult Mpeg4PacketAssembler::push(std::span<const uint8_t> bytes) {
  const auto packet = rtp::parseRtpPacket(bytes);
  if (!packet) return rtp::PushResult::kIgnored;
  if (!playThreadStarted_) playThreadStarted_ = playThread_.Start() != platform::kStartFailed;
  const uint32_t flags = tracker_.trackInterleaved(*packet);
  lost_.store(int32_t(tracker_.lostPackets()), std::memory_order_relaxed);
  if (flags & rtp::RtpSequenceTracker::kForeignSsrc) return rtp::PushResult::kIgnored;
  const rtp::PushResult result =
      depacketizer_.push(*packet, (flags & rtp::RtpSequenceTracker::kGap) != 0);
  if (result == rtp::PushResult::kComplete) playThread_.handOff(depacketizer_.completedUnit());
  return result;
}

void Mpeg4PacketAssembler::configure(const StreamConfig& config) {
  playThread_.configure(config);
  if (!playThreadStarted_) playThreadStarted_ = playThread_.Start() != platform::kStartFailed;
}

void Mpeg4PacketAssembler::beginSession() {
  tracker_ = {};
  depacketizer_.reset();
  lost_.store(0, std::memory_order_relaxed);
  // A stopped play thread is started again by the new session's first packet.
  playThreadStarted_ = false;
}

}  // namespace vexa
