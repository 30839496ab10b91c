#include "media/JpegPacketAssembler.h"

#include <mutex>

namespace vexa {

rtp::PushResult JpegPacketAssembler::push(std::span<const uint8_t> bytes) {
  if (bytes.size() < kMinPacketBytes) return rtp::PushResult::kIgnored;
  const auto packet = rtp::parseRtpPacket(bytes);
  if (!packet) return rtp::PushResult::kIgnored;
  const uint32_t flags = tracker_.trackInterleaved(*packet);
  lost_.store(int32_t(tracker_.lostPackets()), std::memory_order_relaxed);
  if (flags & rtp::RtpSequenceTracker::kForeignSsrc) return rtp::PushResult::kIgnored;
  const rtp::PushResult result =
      depacketizer_.push(*packet, (flags & rtp::RtpSequenceTracker::kGap) != 0);
  if (result == rtp::PushResult::kComplete) publish(depacketizer_.completedUnit());
  return result;
}

void JpegPacketAssembler::publish(std::span<const uint8_t> picture) {
  std::lock_guard lock(frameLock_);
  completed_.assign(picture.begin(), picture.end());
  pictureCounter_.fetch_add(1, std::memory_order_relaxed);
}

void JpegPacketAssembler::beginSession() {
  tracker_ = {};
  depacketizer_.reset();
  lost_.store(0, std::memory_order_relaxed);
}

ReceptionFigures JpegPacketAssembler::figures() const {
  return tracker_.figures();
}

bool JpegPacketAssembler::GetJpegFrame(const uint8_t** data, int32_t* length) const {
  *data = completed_.data();
  *length = int32_t(completed_.size());
  return true;
}

}  // namespace vexa
