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
