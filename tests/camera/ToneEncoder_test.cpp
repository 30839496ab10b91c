#include "camera/ToneEncoder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/Codecs.h"

namespace vexa::camera {
namespace {

// FFmpeg's decoder of that name on the bytes; 16-bit samples.
std::vector<int16_t> decode(const char* decoderName, int bitsPerSample,
                            const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples;
  const AVCodec* codec = avcodec_find_decoder_by_name(decoderName);
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (context) {
    context->sample_rate = kAudioClockRate;
    context->bits_per_coded_sample = bitsPerSample;
    av_channel_layout_default(&context->ch_layout, 1);
  }
  if (context && avcodec_open2(context, codec, nullptr) == 0 &&
      av_new_packet(packet, int(bytes.size())) == 0) {
    std::copy(bytes.begin(), bytes.end(), packet->data);
    if (avcodec_send_packet(context, packet) == 0) {
      while (avcodec_receive_frame(context, frame) == 0) {
        const auto* data = reinterpret_cast<const int16_t*>(frame->data[0]);
        samples.insert(samples.end(), data, data + frame->nb_samples);
      }
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return samples;
}

// Mean absolute difference from the tone, leaving out the first `settle` samples.
double toneError(const std::vector<int16_t>& samples, size_t settle) {
  if (samples.size() <= settle) return INFINITY;
  double total = 0;
  for (size_t n = settle; n < samples.size(); ++n) {
    total += std::abs(samples[n] - ToneEncoder::toneSample(n));
  }
  return total / double(samples.size() - settle);
}

struct CodecCase {
  AudioCodec codec;
  const char* decoder;
  size_t bytesPer160;
  double tolerance;  // of the 8000 amplitude
};

class ToneEncoderCodecs : public ::testing::TestWithParam<CodecCase> {};

TEST_P(ToneEncoderCodecs, SlicesDecodeToTheTone) {
  const CodecCase& c = GetParam();
  ToneEncoder encoder;
  ASSERT_TRUE(encoder.open(c.codec));
  std::vector<uint8_t> bytes;
  for (int slice = 0; slice < 25; ++slice) {  // half a second
    const std::vector<uint8_t> piece = encoder.encodeNext(160);
    ASSERT_EQ(piece.size(), c.bytesPer160);
    bytes.insert(bytes.end(), piece.begin(), piece.end());
  }
  const int bits = int(c.bytesPer160 * 8 / 160);
  const std::vector<int16_t> samples = decode(c.decoder, bits, bytes);
  ASSERT_EQ(samples.size(), 25u * 160u);
  EXPECT_LT(toneError(samples, 400), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(EachCodec, ToneEncoderCodecs,
                         ::testing::Values(CodecCase{AudioCodec::Pcmu, "pcm_mulaw", 160, 100},
                                           CodecCase{AudioCodec::Pcma, "pcm_alaw", 160, 150},
                                           CodecCase{AudioCodec::G726_16, "g726le", 40, 1000},
                                           CodecCase{AudioCodec::G726_24, "g726le", 60, 600},
                                           CodecCase{AudioCodec::G726_32, "g726le", 80, 200},
                                           CodecCase{AudioCodec::G726_40, "g726le", 100, 100}));

TEST(ToneEncoder, G711SilenceHasTheKnownCodes) {
  // The tone starts at a zero crossing: 0 is 0xFF in mu-law and 0xD5 in A-law.
  ToneEncoder mulaw;
  ASSERT_TRUE(mulaw.open(AudioCodec::Pcmu));
  EXPECT_EQ(mulaw.encodeNext(8).at(0), 0xFF);
  ToneEncoder alaw;
  ASSERT_TRUE(alaw.open(AudioCodec::Pcma));
  EXPECT_EQ(alaw.encodeNext(8).at(0), 0xD5);
}

TEST(ToneEncoder, PacksG726LeastSignificantBitsFirst) {
  // The same bytes read with the other packing are noise.
  ToneEncoder encoder;
  ASSERT_TRUE(encoder.open(AudioCodec::G726_32));
  std::vector<uint8_t> bytes;
  for (int slice = 0; slice < 25; ++slice) {
    const auto piece = encoder.encodeNext(160);
    bytes.insert(bytes.end(), piece.begin(), piece.end());
  }
  EXPECT_LT(toneError(decode("g726le", 4, bytes), 400), 200);
  EXPECT_GT(toneError(decode("g726", 4, bytes), 400), 2000);
}

TEST(ToneEncoder, RefusesNoneAndUnevenSlices) {
  ToneEncoder encoder;
  EXPECT_FALSE(encoder.open(AudioCodec::None));
  EXPECT_TRUE(encoder.encodeNext(160).empty());
  ASSERT_TRUE(encoder.open(AudioCodec::G726_24));
  EXPECT_TRUE(encoder.encodeNext(161).empty());
  EXPECT_TRUE(encoder.encodeNext(0).empty());
  EXPECT_EQ(encoder.encodeNext(8).size(), 3u);
}

}  // namespace
}  // namespace vexa::camera
