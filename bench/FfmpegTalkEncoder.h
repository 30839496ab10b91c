#pragma once

// FFmpeg's encoder of a talk codec, the peer the talk benchmarks measure against.

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "audio/AudioCodec.h"
#include "audio/TalkPackets.h"
#include "common/StreamConfig.h"
#include "support/ToneAnalysis.h"

namespace vexa::bench {

// FFmpeg's encoder of a talk codec, fed one buffer a frame.
class FfmpegTalkEncoder {
 public:
  explicit FfmpegTalkEncoder(int32_t codec) {
    const bool g726 = codec >= kAudioCodecG726_16 && codec <= kAudioCodecG726_40;
    const char* name = codec == kAudioCodecPcma   ? "pcm_alaw"
                       : codec == kAudioCodecPcmu ? "pcm_mulaw"
                                                  : "g726le";
    const AVCodec* encoder = avcodec_find_encoder_by_name(name);
    if (encoder == nullptr) return;
    context_ = avcodec_alloc_context3(encoder);
    context_->sample_rate = test::kAudioSampleRate;
    context_->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&context_->ch_layout, 1);
    if (g726) {
      const int bits = audio::bitsPerSample(uint32_t(codec));
      context_->bits_per_coded_sample = bits;
      context_->bit_rate = int64_t(test::kAudioSampleRate) * bits;
    }
    if (avcodec_open2(context_, encoder, nullptr) < 0) {
      avcodec_free_context(&context_);
      return;
    }
    // G.726 chooses frames of about a kilobyte; any whole bytes' worth of samples encode the
    // same way, and talk's buffer is one.
    if (context_->frame_size != 0) context_->frame_size = int(audio::kTalkBufferSamples);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~FfmpegTalkEncoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
  }
  FfmpegTalkEncoder(const FfmpegTalkEncoder&) = delete;
  FfmpegTalkEncoder& operator=(const FfmpegTalkEncoder&) = delete;

  // Encodes samples once (appending the bytes to out when given) and keeps them for encode();
  // false when FFmpeg lacks the encoder or refuses the buffer.
  bool load(const std::vector<int16_t>& samples, std::vector<uint8_t>* out = nullptr) {
    if (context_ == nullptr) return false;
    av_frame_unref(frame_);  // the encoder may still hold the previous buffer
    frame_->format = AV_SAMPLE_FMT_S16;
    frame_->sample_rate = test::kAudioSampleRate;
    frame_->nb_samples = int(samples.size());
    av_channel_layout_default(&frame_->ch_layout, 1);
    if (av_frame_get_buffer(frame_, 0) < 0) return false;
    std::memcpy(frame_->data[0], samples.data(), samples.size() * sizeof(int16_t));
    return encode(out) > 0;
  }

  // The bytes of the loaded buffer's packet, appended to out when given; 0 on a refusal.
  int encode(std::vector<uint8_t>* out = nullptr) {
    if (avcodec_send_frame(context_, frame_) < 0) return 0;
    int bytes = 0;
    while (avcodec_receive_packet(context_, packet_) == 0) {
      bytes += packet_->size;
      if (out != nullptr) out->insert(out->end(), packet_->data, packet_->data + packet_->size);
      av_packet_unref(packet_);
    }
    return bytes;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
};

}  // namespace vexa::bench
