// Encoding one 64 ms talk buffer (512 samples) into its RTP packet per talk codec, beside FFmpeg's
// encoder of the codec on the same buffer, both kept open across buffers as talk keeps its own.
// run.sh prints the time per buffer of each and their ratio (ours / FFmpeg's).
#include <benchmark/benchmark.h>

#include <vector>

#include "FfmpegTalkEncoder.h"
#include "audio/TalkPackets.h"
#include "common/StreamConfig.h"
#include "media/rtp/RtpPacket.h"
#include "support/ToneAnalysis.h"

namespace {

using namespace vexa;
using bench::FfmpegTalkEncoder;


// A 440 Hz tone at -6 dBFS, as the microphone hands it over.
std::vector<int16_t> toneBuffer() {
  return test::talkTone(audio::kTalkBufferSamples);
}

void BM_VexaTalkPacket(benchmark::State& state) {
  const auto codec = int32_t(state.range(0));
  const std::vector<uint8_t> pcm = test::littleEndianBytes(toneBuffer());
  audio::TalkPacketizer packetizer;
  packetizer.start(codec);
  for (auto _ : state) benchmark::DoNotOptimize(packetizer.packetFor(pcm));
  state.counters["payload_bytes"] = double(packetizer.packetFor(pcm).size() - rtp::kRtpHeaderSize);
  state.SetLabel(std::string(audio::talkCodecName(codec)));
  state.SetItemsProcessed(state.iterations() * int64_t(audio::kTalkBufferSamples));
}

void BM_FfmpegTalkEncode(benchmark::State& state) {
  const auto codec = int32_t(state.range(0));
  FfmpegTalkEncoder encoder(codec);
  if (!encoder.load(toneBuffer())) {
    state.SkipWithError("FFmpeg lacks or refuses the encoder");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(encoder.encode());
  state.counters["payload_bytes"] = encoder.encode();
  state.SetLabel(std::string(audio::talkCodecName(codec)));
  state.SetItemsProcessed(state.iterations() * int64_t(audio::kTalkBufferSamples));
}

BENCHMARK(BM_VexaTalkPacket)->DenseRange(kAudioCodecPcma, kAudioCodecG726_40);
BENCHMARK(BM_FfmpegTalkEncode)->DenseRange(kAudioCodecPcma, kAudioCodecG726_40);

}  // namespace

BENCHMARK_MAIN();
