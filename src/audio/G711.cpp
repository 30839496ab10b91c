#include "audio/G711.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

namespace vexa::audio {

namespace {

constexpr uint8_t kSignBit = 0x80;
constexpr uint8_t kMantissaMask = 0x0F;
constexpr int kSegmentShift = 4;
constexpr uint8_t kSegmentMask = 0x70;

// µ-law works on 14-bit magnitudes offset by a bias, so that every segment starts at a power of
// two; the largest magnitude that still fits the top segment.
constexpr int kMuLawBias = 0x84;
constexpr int kMuLawClip = 32635;
// A-law transmits every even bit inverted.
constexpr uint8_t kALawEvenBits = 0x55;

}  // namespace

int16_t decodeMuLaw(uint8_t code) {
  const uint8_t u = uint8_t(~code);
  int t = ((u & kMantissaMask) << 3) + kMuLawBias;
  t <<= (u & kSegmentMask) >> kSegmentShift;
  return int16_t((u & kSignBit) ? kMuLawBias - t : t - kMuLawBias);
}

int16_t decodeALaw(uint8_t code) {
  const uint8_t a = code ^ kALawEvenBits;
  const int segment = (a & kSegmentMask) >> kSegmentShift;
  // Each step is 16 wide in 16-bit units; the output is the middle of the step.
  int t = ((a & kMantissaMask) << 4) + 8;
  if (segment > 0) t = (t + 0x100) << (segment - 1);
  return int16_t((a & kSignBit) ? t : -t);
}

namespace {

// The code of a non-negative µ-law magnitude, at most kMuLawClip.
constexpr uint8_t muLawCode(int magnitude) {
  const int biased = magnitude + kMuLawBias;
  // The biased magnitude lies in [0x84, 0x7FFF]: its top bit is bit 7 to 14, one per segment.
  const int segment = int(std::bit_width(unsigned(biased))) - 8;
  const int mantissa = (biased >> (segment + 3)) & kMantissaMask;
  return uint8_t(~((segment << kSegmentShift) | mantissa));
}

// The bias is a multiple of 4 and every segment's step at least 8, so a magnitude's code
// depends on magnitude / 4 alone: one table entry per four magnitudes.
constexpr int kMuLawMagnitudeShift = 2;
constexpr auto kMuLawCodes = [] {
  std::array<uint8_t, (kMuLawClip >> kMuLawMagnitudeShift) + 1> codes{};
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = muLawCode(int(i) << kMuLawMagnitudeShift);
  return codes;
}();

// A-law looks at the top 13 bits of a sample only.
constexpr int kALawSampleShift = 3;

constexpr uint8_t aLawCode(int16_t sample) {
  // 13-bit magnitude; the negative side is one's complement, so -1 lands in the first step.
  int magnitude = sample >> kALawSampleShift;
  const bool negative = magnitude < 0;
  if (negative) magnitude = ~magnitude;
  // Segments 0 and 1 share the step size; above them each doubles.
  const int segment = magnitude < 32 ? 0 : int(std::bit_width(unsigned(magnitude))) - 5;
  const int shift = segment < 2 ? 1 : segment;
  int code = (segment << kSegmentShift) | ((magnitude >> shift) & kMantissaMask);
  if (!negative) code |= kSignBit;
  return uint8_t(code ^ kALawEvenBits);
}

// One entry per eight samples, indexed by the sample's bit pattern.
constexpr auto kALawCodes = [] {
  std::array<uint8_t, (size_t(1) << 16 >> kALawSampleShift)> codes{};
  for (size_t i = 0; i < codes.size(); ++i)
    codes[i] = aLawCode(int16_t(uint16_t(i << kALawSampleShift)));
  return codes;
}();

}  // namespace

uint8_t encodeMuLaw(int16_t sample) {
  const int magnitude = std::min(std::abs(int(sample)), kMuLawClip);
  const uint8_t positiveCode = kMuLawCodes[size_t(magnitude >> kMuLawMagnitudeShift)];
  // The code is complemented, so the sign bit is set for positive samples.
  return sample < 0 ? uint8_t(positiveCode & ~kSignBit) : positiveCode;
}

uint8_t encodeALaw(int16_t sample) {
  return kALawCodes[uint16_t(sample) >> kALawSampleShift];
}

namespace {

template <typename In, typename Out, typename Convert>
size_t convertAll(std::span<const In> in, std::span<Out> out, Convert convert) {
  if (out.size() < in.size()) return 0;
  for (size_t i = 0; i < in.size(); ++i) out[i] = convert(in[i]);
  return in.size();
}

}  // namespace

size_t decodeMuLaw(std::span<const uint8_t> codes, std::span<int16_t> samples) {
  return convertAll(codes, samples, [](uint8_t c) { return decodeMuLaw(c); });
}
size_t decodeALaw(std::span<const uint8_t> codes, std::span<int16_t> samples) {
  return convertAll(codes, samples, [](uint8_t c) { return decodeALaw(c); });
}
size_t encodeMuLaw(std::span<const int16_t> samples, std::span<uint8_t> codes) {
  return convertAll(samples, codes, [](int16_t s) { return encodeMuLaw(s); });
}
size_t encodeALaw(std::span<const int16_t> samples, std::span<uint8_t> codes) {
  return convertAll(samples, codes, [](int16_t s) { return encodeALaw(s); });
}

}  // namespace vexa::audio
