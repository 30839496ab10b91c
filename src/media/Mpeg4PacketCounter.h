#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "media/InterleavedVideoPath.h"
#include "media/rtp/RtpSequenceTracker.h"

namespace vexa {

// MPEG-4 RTP of an interleaved connection, until its decoder arrives: packets are counted and
// accounted for (so receiver reports stay true), and dropped.
class Mpeg4PacketCounter final : public InterleavedVideoPath {
 public:
  void beginSession() override {
    tracker_ = {};
    lost_.store(0, std::memory_order_relaxed);
  }
  void configure(const StreamConfig&) override {}
  void onPacket(std::span<const uint8_t> rtp) override;
  ReceptionFigures figures() const override;
  int32_t lostPackets() const override { return lost_.load(std::memory_order_relaxed); }
  uint32_t pictures() const { return pictures_.load(std::memory_order_relaxed); }

 private:
  rtp::RtpSequenceTracker tracker_;
  std::atomic<int32_t> lost_{0};
  std::atomic<uint32_t> pictures_{0};
};

}  // namespace vexa
