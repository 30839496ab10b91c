#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vexa::audio {

// ITU-T G.711 companding, one byte per 16-bit sample.
int16_t decodeMuLaw(uint8_t code);
int16_t decodeALaw(uint8_t code);
uint8_t encodeMuLaw(int16_t sample);
uint8_t encodeALaw(int16_t sample);

// Whole spans; the output must be at least as long as the input. The count written, 0 when the
// output is too short.
size_t decodeMuLaw(std::span<const uint8_t> codes, std::span<int16_t> samples);
size_t decodeALaw(std::span<const uint8_t> codes, std::span<int16_t> samples);
size_t encodeMuLaw(std::span<const int16_t> samples, std::span<uint8_t> codes);
size_t encodeALaw(std::span<const int16_t> samples, std::span<uint8_t> codes);

}  // namespace vexa::audio
