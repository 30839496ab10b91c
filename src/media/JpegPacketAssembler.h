#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "common/CriticalSection.h"
#include "media/InterleavedVideoPath.h"
#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/RtpSequenceTracker.h"

namespace vexa {

// RTP/JPEG of an interleaved connection to whole pictures for the display: the sequence
// accounting, the depacketiser, and the newest completed picture behind the frame lock.
class JpegPacketAssembler final : public InterleavedVideoPath {
 public:
  // Shorter packets cannot hold the RTP and JPEG main headers and are not even counted.
  static constexpr size_t kMinPacketBytes = rtp::kRtpHeaderSize + rtp::JpegDepacketizer::kMinPayloadBytes;

  void beginSession() override;
  void configure(const StreamConfig&) override {}
  void onPacket(std::span<const uint8_t> rtp) override { push(rtp); }
  rtp::PushResult push(std::span<const uint8_t> rtp);
  ReceptionFigures figures() const override;
  int32_t lostPackets() const override { return lost_.load(std::memory_order_relaxed); }

  // The newest picture, valid while the frame lock is held.
  bool GetJpegFrame(const uint8_t** data, int32_t* length) const;
  CLFXCriticalSection& frameLock() { return frameLock_; }
  const std::atomic<uint32_t>& pictureCounter() const { return pictureCounter_; }

 private:
  void publish(std::span<const uint8_t> picture);

  rtp::RtpSequenceTracker tracker_;
  rtp::JpegDepacketizer depacketizer_{rtp::Road::Interleaved};
  CLFXCriticalSection frameLock_;
  std::vector<uint8_t> completed_;
  std::atomic<uint32_t> pictureCounter_{0};
  std::atomic<int32_t> lost_{0};
};

}  // namespace vexa
