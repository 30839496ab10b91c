#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "media/IPCameraH264.h"
#include "media/InterleavedVideoPath.h"
#include "media/rtp/H264Depacketizer.h"
#include "media/rtp/RtpSequenceTracker.h"

namespace vexa {

// H.264 RTP of an interleaved connection to decoded pictures: the sequence accounting, the
// depacketiser, and the decode thread it hands access units to without ever waiting.
class H264PacketAssembler final : public InterleavedVideoPath {
 public:
  H264PacketAssembler();

  void setDecoder(H264Decoder* decoder) { decodeThread_.setDecoder(decoder); }
  void setRecordingSink(RecordingSink* sink) { decodeThread_.setRecordingSink(sink); }
  // Parameter sets the session description carried.
  void beginSession() override;
  void configure(const StreamConfig& config) override { depacketizer_.configure(config); }
  void onPacket(std::span<const uint8_t> rtp) override { push(rtp); }
  rtp::PushResult push(std::span<const uint8_t> rtp);
  ReceptionFigures figures() const override;
  int32_t lostPackets() const override { return lost_.load(std::memory_order_relaxed); }
  void stop() override { decodeThread_.Stop(); }

  IPCameraH264& decodeThread() { return decodeThread_; }
  const IPCameraH264& decodeThread() const { return decodeThread_; }

 private:
  rtp::RtpSequenceTracker tracker_;
  rtp::H264Depacketizer depacketizer_{rtp::Road::Interleaved};
  IPCameraH264 decodeThread_;
  bool decodeThreadStarted_ = false;
  std::atomic<int32_t> lost_{0};
};

}  // namespace vexa
