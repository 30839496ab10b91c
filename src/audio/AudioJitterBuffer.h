#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/AudioCodec.h"
#include "media/rtp/RtpSequenceTracker.h"
#include "common/ByteBuffer.h"

namespace vexa::audio {

// Collects the payload of one RTP audio stream and hands it out in whole 160 ms blocks. There
// is no reordering: an old or repeated packet is dropped, and the bytes of lost packets are
// simply missing, so later audio moves forward.
class AudioJitterBuffer {
 public:
  // push() results, as the packet functions report them.
  static constexpr int kTaken = 0;
  static constexpr int kIgnored = 1;
  // A reader that stops popping must not make the buffer grow: beyond this many blocks the
  // oldest are dropped. The packet path pops after every packet, so it never gets near this.
  static constexpr size_t kMaxHeldBlocks = 8;

  explicit AudioJitterBuffer(uint8_t codec = kCodecPcmu);
  AudioJitterBuffer(const AudioJitterBuffer&) = delete;
  AudioJitterBuffer& operator=(const AudioJitterBuffer&) = delete;

  // One RTP packet; kIgnored for one that is malformed (shorter than the fixed header,
  // inconsistent lengths), of a foreign source, or old or repeated.
  int push(std::span<const uint8_t> packet);

  // Whole blocks held.
  size_t blockCount() const { return size_t(bytes_.size()) / blockBytes_; }
  // The oldest whole block; empty when there is none.
  std::span<const uint8_t> frontBlock() const;
  // Removes the oldest whole block (nothing when there is none).
  void pop();

  // An unknown index is ignored. Bytes held for another codec are dropped: they cannot be
  // decoded as this one.
  void setCodec(uint8_t codec);
  // Readable from any thread.
  uint8_t codec() const { return codec_.load(std::memory_order_relaxed); }
  size_t blockBytes() const { return blockBytes_; }
  size_t heldBytes() const { return size_t(bytes_.size()); }

  const rtp::RtpSequenceTracker& tracker() const { return tracker_; }
  // A new session's source and numbering: the accounting starts again, held bytes are dropped.
  void beginSession() {
    tracker_ = {};
    bytes_.clear();
  }

 private:
  void dropOverflow();

  rtp::RtpSequenceTracker tracker_;
  ByteBuffer bytes_;
  std::atomic<uint8_t> codec_;
  size_t blockBytes_;
};

}  // namespace vexa::audio
