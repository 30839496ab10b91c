// Decoding one 160 ms block of each audio codec, beside FFmpeg's decoder on the same block.
// Each vexa benchmark also reports ffmpeg_ns (FFmpeg's time per block, measured in the same run)
// and ratio (ours / FFmpeg's; below 1 is faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "audio/AudioBlockDecoder.h"
#include "audio/AudioCodec.h"
#include "audio/G711.h"
#include "audio/G726.h"

namespace {

using namespace vexa::audio;

const char* kCodecNames[kCodecCount] = {"PCMU", "PCMA", "G726-16", "G726-24", "G726-32", "G726-40"};

// One block of a 440 Hz tone, encoded by the codecs themselves.
std::vector<uint8_t> encodedBlock(uint8_t codec) {
  std::vector<int16_t> samples(kBlockSamples);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = int16_t(9000 * std::sin(2 * 3.14159265 * 440.0 * double(i) / kSampleRate));
  }
  std::vector<uint8_t> block(encodedBlockBytes(codec));
  if (codec == kCodecPcmu) {
    encodeMuLaw(samples, block);
  } else if (codec == kCodecPcma) {
    encodeALaw(samples, block);
  } else {
    G726Encoder encoder(bitsPerSample(codec));
    encoder.encode(samples, block);
  }
  return block;
}

// FFmpeg's decoder of the codec, kept open across blocks as a player would keep it.
class FfmpegBlockDecoder {
 public:
  explicit FfmpegBlockDecoder(uint8_t codec) {
    const char* name = codec == kCodecPcmu   ? "pcm_mulaw"
                       : codec == kCodecPcma ? "pcm_alaw"
                                             : "g726le";
    const AVCodec* decoder = avcodec_find_decoder_by_name(name);
    context_ = avcodec_alloc_context3(decoder);
    context_->sample_rate = kSampleRate;
    context_->bits_per_coded_sample = bitsPerSample(codec);
    av_channel_layout_default(&context_->ch_layout, 1);
    if (avcodec_open2(context_, decoder, nullptr) < 0) avcodec_free_context(&context_);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~FfmpegBlockDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
  }
  bool ok() const { return context_ != nullptr; }

  int decode(const std::vector<uint8_t>& block) {
    packet_->data = const_cast<uint8_t*>(block.data());
    packet_->size = int(block.size());
    int samples = 0;
    if (avcodec_send_packet(context_, packet_) < 0) return 0;
    while (avcodec_receive_frame(context_, frame_) == 0) samples += frame_->nb_samples;
    return samples;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
};

double ffmpegNanosecondsPerBlock(uint8_t codec, const std::vector<uint8_t>& block) {
  FfmpegBlockDecoder decoder(codec);
  if (!decoder.ok()) return 0;
  constexpr int kRounds = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) benchmark::DoNotOptimize(decoder.decode(block));
  const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / kRounds;
}

void BM_VexaDecodeBlock(benchmark::State& state) {
  const auto codec = uint8_t(state.range(0));
  const auto block = encodedBlock(codec);
  AudioBlockDecoder decoder;
  std::vector<int16_t> samples(kBlockSamples);
  const std::span<int16_t, kBlockSamples> out(samples.data(), kBlockSamples);
  for (auto _ : state) benchmark::DoNotOptimize(decoder.decode(block, codec, out));
  state.SetLabel(kCodecNames[codec]);
  state.SetItemsProcessed(state.iterations() * int64_t(kBlockSamples));

  const auto start = std::chrono::steady_clock::now();
  constexpr int kRounds = 2000;
  for (int i = 0; i < kRounds; ++i) benchmark::DoNotOptimize(decoder.decode(block, codec, out));
  const std::chrono::duration<double, std::nano> ours = std::chrono::steady_clock::now() - start;
  const double ffmpeg = ffmpegNanosecondsPerBlock(codec, block);
  state.counters["ffmpeg_ns"] = ffmpeg;
  state.counters["ratio"] = ffmpeg > 0 ? ours.count() / kRounds / ffmpeg : 0;
}

void BM_FfmpegDecodeBlock(benchmark::State& state) {
  const auto codec = uint8_t(state.range(0));
  const auto block = encodedBlock(codec);
  FfmpegBlockDecoder decoder(codec);
  if (!decoder.ok()) {
    state.SkipWithError("FFmpeg lacks the decoder");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(decoder.decode(block));
  state.SetLabel(kCodecNames[codec]);
  state.SetItemsProcessed(state.iterations() * int64_t(kBlockSamples));
}

BENCHMARK(BM_VexaDecodeBlock)->DenseRange(0, kCodecCount - 1);
BENCHMARK(BM_FfmpegDecodeBlock)->DenseRange(0, kCodecCount - 1);

}  // namespace

BENCHMARK_MAIN();
