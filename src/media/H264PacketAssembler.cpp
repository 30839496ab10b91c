#include "media/H264PacketAssembler.h"

#include "platform/Thread.h"

namespace vexa {

H264PacketAssembler::H264PacketAssembler() = default;

rtp::PushResult H264PacketAssembler::push(std::span<const uint8_t> bytes) {
  if (bytes.size() < rtp::kRtpHeaderSize + rtp::kMinInterleavedPayloadSize) {
    return rtp::PushResult::kIgnored;
  }
  const auto packet = rtp::parseRtpPacket(bytes);
  if (!packet) return rtp::PushResult::kIgnored;
  if (!decodeThreadStarted_) decodeThreadStarted_ = decodeThread_.Start() != platform::kStartFailed;
  const uint32_t flags = tracker_.trackInterleaved(*packet);
  lost_.store(int32_t(tracker_.lostPackets()), std::memory_order_relaxed);
  if (flags & rtp::RtpSequenceTracker::kForeignSsrc) return rtp::PushResult::kIgnored;
  const rtp::PushResult result =
      depacketizer_.push(*packet, (flags & rtp::RtpSequenceTracker::kGap) != 0);
  if (result == rtp::PushResult::kComplete) decodeThread_.handOff(depacketizer_.completedUnit());
  return result;
}

void H264PacketAssembler::beginSession() {
  tracker_ = {};
  depacketizer_.reset();
  lost_.store(0, std::memory_order_relaxed);
  // A stopped decode thread is started again by the new session's first packet.
  decodeThreadStarted_ = false;
}

ReceptionFigures H264PacketAssembler::figures() const {
  return tracker_.figures();
}

}  // namespace vexa
