#include "audio/AudioPacketPath.h"

namespace vexa::audio {

AudioPacketPath::AudioPacketPath(const platform::AudioOutputFactory& openOutput, uint8_t codec)
    : buffer_(codec), player_(openOutput) {}

void AudioPacketPath::onPacket(std::span<const uint8_t> packet) {
  receivedBytes_.fetch_add(uint32_t(packet.size()), std::memory_order_relaxed);
  if (buffer_.push(packet) == AudioJitterBuffer::kTaken) publishFigures();
  while (buffer_.blockCount() > 0) {
    const bool played =
        audioOn() && player_.usable() && player_.play(buffer_.frontBlock(), buffer_.codec());
    (played ? blocksPlayed_ : blocksDiscarded_).fetch_add(1, std::memory_order_relaxed);
    buffer_.pop();
  }
}

void AudioPacketPath::publishFigures() {
  const auto& tracker = buffer_.tracker();
  lastSequence_.store(tracker.lastSequence(), std::memory_order_relaxed);
  wrapCount_.store(tracker.wrapCount(), std::memory_order_relaxed);
  lostPackets_.store(tracker.lostPackets(), std::memory_order_relaxed);
}

ReceptionFigures AudioPacketPath::figures() const {
  return {lastSequence_.load(std::memory_order_relaxed), wrapCount_.load(std::memory_order_relaxed),
          lostPackets_.load(std::memory_order_relaxed)};
}

}  // namespace vexa::audio
