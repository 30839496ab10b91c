#include "audio/AudioPacketPath.h"

namespace vexa::audio {

AudioPacketPath::AudioPacketPath(const platform::AudioOutputFactory& openOutput, uint8_t codec)
    : buffer_(codec), player_(openOutput) {}

void AudioPacketPath::onPacket(std::span<const uint8_t> packet) {
  receivedBytes_.fetch_add(uint32_t(packet.size()), std::memory_order_relaxed);
  packets_.fetch_add(1, std::memory_order_relaxed);
  if (buffer_.push(packet) == AudioJitterBuffer::kTaken) published_.publish(buffer_.tracker().figures());
  while (buffer_.blockCount() > 0) {
    const bool played =
        audioOn() && player_.usable() && player_.play(buffer_.frontBlock(), buffer_.codec());
    (played ? blocksPlayed_ : blocksDiscarded_).fetch_add(1, std::memory_order_relaxed);
    buffer_.pop();
  }
}

}  // namespace vexa::audio
