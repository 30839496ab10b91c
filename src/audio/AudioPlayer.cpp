#include "audio/AudioPlayer.h"

#include "common/DebugTrace.h"

namespace vexa::audio {

AudioPlayer::AudioPlayer(const platform::AudioOutputFactory& openOutput)
    : output_(openOutput ? openOutput() : nullptr) {
  if (!output_) DebugTrace("audio: no sound device; audio is received and discarded");
}

bool AudioPlayer::play(std::span<const uint8_t> block, uint8_t codec) {
  if (!output_) return false;
  // Decode even a block the device has no room for, so that a G.726 state follows the stream.
  if (!decoder_.decode(block, codec, samples_)) return false;
  if (output_->queuedBytes() + kDecodedBlockBytes > kMaxQueuedBlocks * kDecodedBlockBytes) {
    DebugTrace("audio: device still holds %zu bytes; block dropped", output_->queuedBytes());
    return false;
  }
  for (size_t i = 0; i < kBlockSamples; ++i) {
    const auto sample = uint16_t(samples_[i]);
    pcm_[2 * i] = uint8_t(sample);
    pcm_[2 * i + 1] = uint8_t(sample >> 8);
  }
  return output_->queue(pcm_);
}

}  // namespace vexa::audio
