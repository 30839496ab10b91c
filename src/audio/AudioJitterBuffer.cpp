#include "audio/AudioJitterBuffer.h"

#include "common/DebugTrace.h"
#include "media/rtp/RtpPacket.h"

namespace vexa::audio {

namespace {

// Room for the cap plus the largest payload one datagram or interleaved frame adds, so the
// buffer settles at one size instead of growing packet by packet.
constexpr int32_t kInitialReserve =
    int32_t(AudioJitterBuffer::kMaxHeldBlocks * kMaxEncodedBlockBytes) + 2048;

}  // namespace

AudioJitterBuffer::AudioJitterBuffer(uint8_t codec)
    : codec_(isValidCodec(codec) ? codec : kCodecPcmu),
      blockBytes_(encodedBlockBytes(codec_.load())) {
  bytes_.reserve(kInitialReserve);
}

int AudioJitterBuffer::push(std::span<const uint8_t> packet) {
  // The payload starts after the CSRC list and any header extension, without padding.
  const auto rtp = rtp::parseRtpPacket(packet);
  if (!rtp) return kIgnored;
  const uint32_t flags = tracker_.trackInterleaved(*rtp);
  if (flags & (rtp::RtpSequenceTracker::kForeignSsrc | rtp::RtpSequenceTracker::kStale)) {
    return kIgnored;
  }
  if (!rtp->payload.empty() && !bytes_.append(rtp->payload.data(), int32_t(rtp->payload.size()))) {
    return kIgnored;
  }
  dropOverflow();
  return kTaken;
}

void AudioJitterBuffer::dropOverflow() {
  const size_t cap = kMaxHeldBlocks * blockBytes_;
  if (heldBytes() <= cap) return;
  // Whole blocks, so that what is left still starts on a block (and G.726 group) boundary.
  const size_t excessBlocks = (heldBytes() - cap + blockBytes_ - 1) / blockBytes_;
  DebugTrace("audio: %zu blocks not taken in time; dropped", excessBlocks);
  bytes_.eraseFront(int32_t(excessBlocks * blockBytes_));
}

std::span<const uint8_t> AudioJitterBuffer::frontBlock() const {
  if (blockCount() == 0) return {};
  return bytes_.bytes().first(blockBytes_);
}

void AudioJitterBuffer::pop() {
  if (blockCount() > 0) bytes_.eraseFront(int32_t(blockBytes_));
}

void AudioJitterBuffer::setCodec(uint8_t codec) {
  if (!isValidCodec(codec) || codec == this->codec()) return;
  codec_.store(codec, std::memory_order_relaxed);
  blockBytes_ = encodedBlockBytes(codec);
  bytes_.clear();
}

}  // namespace vexa::audio
