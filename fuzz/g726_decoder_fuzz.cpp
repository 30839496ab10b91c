// Arbitrary bytes through the G.726 decoder at each rate (first byte), as one or two calls with
// an output of a size the input also picks, so that refusals and the state carried between
// calls are both exercised.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/G726.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int bits = vexa::audio::kG726MinBits + data[0] % 4;
  const size_t outputSamples = size_t(data[1]) * 16;
  std::span<const uint8_t> packed(data + 2, size - 2);
  vexa::audio::G726Decoder decoder(bits);
  std::vector<int16_t> samples(outputSamples);
  const size_t split = packed.size() / 2;
  for (const auto part : {packed.first(split), packed.subspan(split)}) {
    const size_t written = decoder.decode(part, samples);
    if (written > samples.size()) __builtin_trap();
  }
  return 0;
}
