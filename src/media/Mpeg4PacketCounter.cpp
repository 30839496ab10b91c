#include "media/Mpeg4PacketCounter.h"

namespace vexa {

void Mpeg4PacketCounter::onPacket(std::span<const uint8_t> bytes) {
  const auto packet = rtp::parseRtpPacket(bytes);
  if (!packet) return;
  const uint32_t flags = tracker_.trackInterleaved(*packet);
  lost_.store(int32_t(tracker_.lostPackets()), std::memory_order_relaxed);
  if (flags & rtp::RtpSequenceTracker::kForeignSsrc) return;
  // A picture ends at the marker (RFC 3016 section 3.2).
  if (packet->marker) pictures_.fetch_add(1, std::memory_order_relaxed);
}

ReceptionFigures Mpeg4PacketCounter::figures() const {
  return tracker_.figures();
}

}  // namespace vexa
