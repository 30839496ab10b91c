#include "camera/ToneEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/AudioDecoding.h"
#include "support/Codecs.h"

namespace vexa::camera {
namespace {

// Mean absolute difference from the tone, leaving out the first `settle` samples.
double toneError(const std::vector<int16_t>& samples, size_t settle) {
  if (samples.size() <= settle) return INFINITY;
  double total = 0;
  for (size_t n = settle; n < samples.size(); ++n) {
    total += std::abs(samples[n] - ToneEncoder::toneSample(n));
  }
  return total / double(samples.size() - settle);
}

std::vector<uint8_t> halfASecond(AudioCodec codec, size_t bytesPer160) {
  ToneEncoder encoder;
  EXPECT_TRUE(encoder.open(codec));
  std::vector<uint8_t> bytes;
  for (int slice = 0; slice < 25; ++slice) {
    const std::vector<uint8_t> piece = encoder.encodeNext(160);
    EXPECT_EQ(piece.size(), bytesPer160);
    bytes.insert(bytes.end(), piece.begin(), piece.end());
  }
  return bytes;
}

// FFmpeg's g726le takes code words least significant bits first, as RTP carries them (RFC 3551
// section 4.5.4): bytes packed the other way decode to noise.
TEST(ToneEncoder, EveryCodecDecodesToTheTone) {
  const struct {
    AudioCodec codec;
    const char* decoder;
    size_t bytesPer160;
    double tolerance;  // of the 8000 amplitude
  } cases[] = {
      {AudioCodec::Pcmu, "pcm_mulaw", 160, 100}, {AudioCodec::Pcma, "pcm_alaw", 160, 150},
      {AudioCodec::G726_16, "g726le", 40, 1000}, {AudioCodec::G726_24, "g726le", 60, 600},
      {AudioCodec::G726_32, "g726le", 80, 200},  {AudioCodec::G726_40, "g726le", 100, 100}};
  for (const auto& c : cases) {
    const std::vector<int16_t> samples = test::ffmpegDecodeAudio(
        c.decoder, int(c.bytesPer160 * 8 / 160), halfASecond(c.codec, c.bytesPer160));
    ASSERT_EQ(samples.size(), 25u * 160u) << c.decoder << " " << c.bytesPer160;
    EXPECT_LT(toneError(samples, 400), c.tolerance) << c.decoder << " " << c.bytesPer160;
  }
}

}  // namespace
}  // namespace vexa::camera
