#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "media/InterleavedVideoPath.h"
#include "media/Mpeg4PlayThread.h"
#include "media/rtp/Mpeg4Depacketizer.h"
#include "media/rtp/RtpSequenceTracker.h"

namespace vexa {

// MPEG-4 RTP of an interleaved connection to decoded pictures: the sequence accounting, the
// depacketiser, and the play thread it hands whole pictures to.
class Mpeg4PacketAssembler final : public InterleavedVideoPath {
 public:
  void beginSession() override;
  // The stored configuration the description carried. The play thread starts at once, to ready
  // the picture for its size while the session is set up.
  void configure(const StreamConfig& config) override;
  void onPacket(std::span<const uint8_t> rtp) override { push(rtp); }
  rtp::PushResult push(std::span<const uint8_t> rtp);
  ReceptionFigures figures() const override { return tracker_.figures(); }
  int32_t lostPackets() const override { return lost_.load(std::memory_order_relaxed); }
  void stop() override { playThread_.Stop(); }

  Mpeg4PlayThread& playThread() { return playThread_; }
  const Mpeg4PlayThread& playThread() const { return playThread_; }

 private:
  rtp::RtpSequenceTracker tracker_;
  rtp::Mpeg4Depacketizer depacketizer_{rtp::Road::Interleaved};
  Mpeg4PlayThread playThread_;
  bool playThreadStarted_ = false;
  std::atomic<int32_t> lost_{0};
};

}  // namespace vexa
