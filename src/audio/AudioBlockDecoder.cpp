#include "audio/AudioBlockDecoder.h"

#include "audio/G711.h"

namespace vexa::audio {

bool AudioBlockDecoder::decode(std::span<const uint8_t> block, uint8_t codec,
                               std::span<int16_t, kBlockSamples> samples) {
  if (!isValidCodec(codec) || block.size() != encodedBlockBytes(codec)) return false;
  switch (codec) {
    case kCodecPcmu:
      return decodeMuLaw(block, samples) == kBlockSamples;
    case kCodecPcma:
      return decodeALaw(block, samples) == kBlockSamples;
    default: {
      const int bits = bitsPerSample(codec);
      // A state adapted to another rate would decode the first words of this one wrongly.
      if (bits != g726Bits_) {
        g726_.reset(bits);
        g726Bits_ = bits;
      }
      return g726_.decode(block, samples) == kBlockSamples;
    }
  }
}

}  // namespace vexa::audio
