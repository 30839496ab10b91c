#pragma once

#include <cstddef>
#include <cstdint>

namespace vexa::audio {

// Codec index of the jitter buffer and the player. StreamConfig::audioCodec numbers the same
// codecs differently (see codecIndexFromConfig).
enum CodecIndex : uint8_t {
  kCodecPcmu = 0,
  kCodecPcma = 1,
  kCodecG726_16 = 2,
  kCodecG726_24 = 3,
  kCodecG726_32 = 4,
  kCodecG726_40 = 5,
};
constexpr size_t kCodecCount = 6;

constexpr int kSampleRate = 8000;
// One block is 160 ms: the unit the jitter buffer hands out and the player decodes.
constexpr size_t kBlockSamples = 1280;
constexpr size_t kBytesPerSample = 2;
constexpr size_t kDecodedBlockBytes = kBlockSamples * kBytesPerSample;
// The largest encoded block of any codec (G.711: one byte per sample).
constexpr size_t kMaxEncodedBlockBytes = kBlockSamples;

constexpr bool isValidCodec(uint32_t index) {
  return index < kCodecCount;
}

// Bits of one code word: 8 for G.711, 2 to 5 for the G.726 rates; 0 for an invalid index.
constexpr int bitsPerSample(uint32_t index) {
  constexpr int kBits[kCodecCount] = {8, 8, 2, 3, 4, 5};
  return isValidCodec(index) ? kBits[index] : 0;
}

// Encoded bytes of one block: 1280, 1280, 320, 480, 640, 800; 0 for an invalid index.
constexpr size_t encodedBlockBytes(uint32_t index) {
  return kBlockSamples * size_t(bitsPerSample(index)) / 8;
}

// From StreamConfig::audioCodec (PCMA 0, PCMU 1, G.726 2 to 5): 1 is µ-law, 2 to 5 keep their
// number, anything else (0, unknown) is A-law.
constexpr uint8_t codecIndexFromConfig(int32_t audioCodec) {
  if (audioCodec == 1) return kCodecPcmu;
  if (audioCodec >= kCodecG726_16 && audioCodec <= kCodecG726_40) return uint8_t(audioCodec);
  return kCodecPcma;
}

}  // namespace vexa::audio
