#include "audio/G711.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <numeric>

#include "AudioTestSupport.h"

namespace vexa::audio {
namespace {

TEST(G711, DecodersMatchFfmpegForEveryCodeAndEncodersGiveTheCodeOfEachLevelBack) {
  std::vector<uint8_t> codes(256), mu(256), a(256);
  std::iota(codes.begin(), codes.end(), 0);
  std::vector<int16_t> muLevels(256), aLevels(256);
  ASSERT_EQ(decodeMuLaw(codes, muLevels), 256u);
  ASSERT_EQ(decodeALaw(codes, aLevels), 256u);
  EXPECT_EQ(muLevels, test::ffmpegDecode(kCodecPcmu, codes));
  EXPECT_EQ(aLevels, test::ffmpegDecode(kCodecPcma, codes));
  ASSERT_EQ(encodeMuLaw(muLevels, mu), 256u);
  ASSERT_EQ(encodeALaw(aLevels, a), 256u);
  EXPECT_EQ(a, codes);
  codes[0x7F] = 0xFF;  // µ-law has two zeros; the negative one comes back as the positive one
  EXPECT_EQ(mu, codes);
}

// The width of the quantisation interval a decoded level stands in the middle of.
int muLawStep(int level) {
  return 8 << (int(std::bit_width(unsigned(std::abs(level) + 0x84))) - 8);
}
int aLawStep(int level) {
  const int magnitude = std::abs(level);
  return magnitude < 512 ? 16 : 16 << (int(std::bit_width(unsigned(magnitude))) - 9);
}

// Every level is the middle of its interval, so a sample encodes to a level at most half an
// interval away: a decision level more than one sample value off shows.
TEST(G711, EncodersPutEverySampleInTheIntervalAroundItsLevel) {
  std::vector<int16_t> samples;
  for (int x = -32000; x < 32000; ++x) samples.push_back(int16_t(x));
  std::vector<uint8_t> mu(samples.size()), a(samples.size());
  ASSERT_EQ(encodeMuLaw(samples, mu), samples.size());
  ASSERT_EQ(encodeALaw(samples, a), samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const int x = samples[i], muLevel = decodeMuLaw(mu[i]), aLevel = decodeALaw(a[i]);
    ASSERT_LE(std::abs(muLevel - x), muLawStep(muLevel) / 2) << x << " to " << muLevel;
    ASSERT_LE(std::abs(aLevel - x), aLawStep(aLevel) / 2) << x << " to " << aLevel;
  }
}

// The interval test above lets a decision level move across a tie and stops short of the ends
// of the range; these are the exact samples where the code changes, on both sides of zero, at a
// segment's edge and at the clip.
TEST(G711, EncodersChangeCodeAtExactlyTheseSamples) {
  const struct {
    uint8_t (*encode)(int16_t);
    int16_t sample;
    uint8_t code, codeBelow;  // of the sample and of the one below it
  } cases[] = {
      {encodeMuLaw, -31611, 0x01, 0x00}, {encodeMuLaw, -251, 0x68, 0x67},
      {encodeMuLaw, -3, 0x7F, 0x7E},     {encodeMuLaw, 0, 0xFF, 0x7F},
      {encodeMuLaw, 4, 0xFE, 0xFF},      {encodeMuLaw, 252, 0xE7, 0xE8},
      {encodeMuLaw, 31612, 0x80, 0x81},  {encodeALaw, -31744, 0x2B, 0x2A},
      {encodeALaw, -256, 0x5A, 0x45},    {encodeALaw, -16, 0x55, 0x54},
      {encodeALaw, 0, 0xD5, 0x55},       {encodeALaw, 16, 0xD4, 0xD5},
      {encodeALaw, 256, 0xC5, 0xDA},     {encodeALaw, 31744, 0xAA, 0xAB},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.encode(c.sample), c.code) << c.sample;
    EXPECT_EQ(c.encode(int16_t(c.sample - 1)), c.codeBelow) << c.sample;
  }
  EXPECT_EQ(encodeMuLaw(INT16_MIN), 0x00);
  EXPECT_EQ(encodeMuLaw(INT16_MAX), 0x80);
  EXPECT_EQ(encodeALaw(INT16_MIN), 0x2A);
  EXPECT_EQ(encodeALaw(INT16_MAX), 0xAA);
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
