#pragma once

#include <cstdint>
#include <span>

#include "audio/AudioCodec.h"
#include "audio/G726.h"

namespace vexa::audio {

// One encoded 160 ms block of any codec index to 16-bit samples. The G.726 state runs on from
// block to block, as the blocks are one continuous stream.
class AudioBlockDecoder {
 public:
  // False (nothing written) when the codec is unknown or the block is not exactly one block of
  // it.
  bool decode(std::span<const uint8_t> block, uint8_t codec,
              std::span<int16_t, kBlockSamples> samples);

 private:
  G726Decoder g726_;
  // The G.726 rate the state belongs to; 0 before the first G.726 block.
  int g726Bits_ = 0;
};

}  // namespace vexa::audio
