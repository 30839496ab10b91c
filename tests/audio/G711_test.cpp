#include "audio/G711.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>

#include "AudioTestSupport.h"

namespace vexa::audio {
namespace {

std::vector<uint8_t> everyCode() {
  std::vector<uint8_t> codes(256);
  for (int i = 0; i < 256; ++i) codes[size_t(i)] = uint8_t(i);
  return codes;
}

std::vector<int16_t> everySample() {
  std::vector<int16_t> samples;
  for (int v = INT16_MIN; v <= INT16_MAX; ++v) samples.push_back(int16_t(v));
  return samples;
}

TEST(G711, DecodesTheListedValues) {
  EXPECT_EQ(decodeMuLaw(0xFF), 0);
  EXPECT_EQ(decodeMuLaw(0x00), -32124);
  EXPECT_EQ(decodeMuLaw(0x80), 32124);
  EXPECT_EQ(decodeALaw(0xD5), 8);
  EXPECT_EQ(decodeALaw(0x55), -8);
  EXPECT_EQ(decodeALaw(0xAA), 32256);
}

TEST(G711, DecodersMatchFfmpegForEveryCode) {
  const auto codes = everyCode();
  std::vector<int16_t> mu(256), a(256);
  ASSERT_EQ(decodeMuLaw(codes, mu), 256u);
  ASSERT_EQ(decodeALaw(codes, a), 256u);
  EXPECT_EQ(mu, test::ffmpegDecode(kCodecPcmu, codes));
  EXPECT_EQ(a, test::ffmpegDecode(kCodecPcma, codes));
}

TEST(G711, EncodingADecodedLevelGivesItsCodeBack) {
  for (int code = 0; code < 256; ++code) {
    // µ-law has two zeros; the negative one comes back as the positive one.
    const int expectedMu = code == 0x7F ? 0xFF : code;
    EXPECT_EQ(encodeMuLaw(decodeMuLaw(uint8_t(code))), expectedMu) << code;
    EXPECT_EQ(encodeALaw(decodeALaw(uint8_t(code))), code) << code;
  }
}

// The distance between neighbouring levels around a decoded level.
int muLawStep(int level) {
  return 8 << (int(std::bit_width(unsigned(std::abs(level) + 0x84))) - 8);
}
int aLawStep(int level) {
  const int magnitude = std::abs(level);
  return magnitude < 512 ? 16 : 16 << (int(std::bit_width(unsigned(magnitude))) - 9);
}

TEST(G711, EncodersQuantiseEverySampleToANeighbouringLevel) {
  const auto samples = everySample();
  std::vector<uint8_t> mu(samples.size()), a(samples.size());
  ASSERT_EQ(encodeMuLaw(samples, mu), samples.size());
  ASSERT_EQ(encodeALaw(samples, a), samples.size());
  // FFmpeg encodes whole blocks only.
  auto padded = samples;
  padded.resize((samples.size() + kBlockSamples - 1) / kBlockSamples * kBlockSamples);
  const auto ffmpegMu = test::ffmpegEncode(kCodecPcmu, padded);
  const auto ffmpegA = test::ffmpegEncode(kCodecPcma, padded);
  ASSERT_EQ(ffmpegMu.size(), padded.size());
  ASSERT_EQ(ffmpegA.size(), padded.size());
  size_t sameMu = 0, sameA = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    const int x = samples[i];
    // Within one step of the input (beyond the top level the error only grows with x), and
    // never further off than FFmpeg's choice by more than a step: the two differ only in which
    // side of a decision level its own input lands on.
    const int muLevel = decodeMuLaw(mu[i]), aLevel = decodeALaw(a[i]);
    const int muStep = muLawStep(muLevel);
    const int aStep = aLawStep(aLevel);
    if (std::abs(x) < 32000) {
      EXPECT_LE(std::abs(muLevel - x), muStep) << x;
      EXPECT_LE(std::abs(aLevel - x), aStep) << x;
    }
    EXPECT_LE(std::abs(muLevel - x), std::abs(decodeMuLaw(ffmpegMu[i]) - x) + muStep) << x;
    EXPECT_LE(std::abs(aLevel - x), std::abs(decodeALaw(ffmpegA[i]) - x) + aStep) << x;
    sameMu += mu[i] == ffmpegMu[i];
    sameA += a[i] == ffmpegA[i];
  }
  EXPECT_GT(sameMu, samples.size() * 97 / 100);
  EXPECT_GT(sameA, samples.size() * 97 / 100);
}

TEST(G711, SpanConversionsRefuseAShortOutput) {
  const std::vector<uint8_t> codes(10, 0x55);
  std::vector<int16_t> samples(9);
  EXPECT_EQ(decodeALaw(codes, samples), 0u);
  EXPECT_EQ(decodeMuLaw(codes, samples), 0u);
  std::vector<uint8_t> out(9);
  const std::vector<int16_t> in(10, 100);
  EXPECT_EQ(encodeALaw(in, out), 0u);
  EXPECT_EQ(encodeMuLaw(in, out), 0u);
}

}  // namespace
}  // namespace vexa::audio
