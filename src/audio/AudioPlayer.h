#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "audio/AudioBlockDecoder.h"
#include "platform/AudioOutput.h"

namespace vexa::audio {

// Decodes 160 ms blocks and queues them to the sound device without ever waiting on it.
class AudioPlayer {
 public:
  // At most this many decoded blocks (640 ms) wait in the device; more would only add delay.
  static constexpr size_t kMaxQueuedBlocks = 4;

  // Opens the device once; without one the player is unusable for its whole life.
  explicit AudioPlayer(const platform::AudioOutputFactory& openOutput);

  bool usable() const { return output_ != nullptr; }

  // Decodes one block of the codec and queues it. False when it was not queued: no device, a
  // block of the wrong size or codec, a device already holding kMaxQueuedBlocks, or one that
  // refused it.
  bool play(std::span<const uint8_t> block, uint8_t codec);

 private:
  std::unique_ptr<platform::AudioOutput> output_;
  AudioBlockDecoder decoder_;
  std::array<int16_t, kBlockSamples> samples_{};
  std::array<uint8_t, kDecodedBlockBytes> pcm_{};
};

}  // namespace vexa::audio
