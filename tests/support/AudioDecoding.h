#pragma once

// FFmpeg's audio decoders on the test side, as the independent reference for the codecs the
// viewer plays and the camera sends.

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace vexa::test {

constexpr int kAudioSampleRate = 8000;

// FFmpeg's decoder of that name ("pcm_mulaw", "pcm_alaw", "g726le", "g726") on the bytes as one
// packet: 16-bit samples, empty when FFmpeg cannot.
inline std::vector<int16_t> ffmpegDecodeAudio(const char* decoderName, int bitsPerSample,
                                              const std::vector<uint8_t>& bytes) {
  const AVCodec* codec = avcodec_find_decoder_by_name(decoderName);
  if (codec == nullptr) return {};
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->sample_rate = kAudioSampleRate;
  context->sample_fmt = AV_SAMPLE_FMT_S16;
  context->bits_per_coded_sample = bitsPerSample;
  av_channel_layout_default(&context->ch_layout, 1);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<int16_t> samples;
  if (avcodec_open2(context, codec, nullptr) == 0 && av_new_packet(packet, int(bytes.size())) == 0) {
    if (!bytes.empty()) std::memcpy(packet->data, bytes.data(), bytes.size());
    const bool sent = avcodec_send_packet(context, packet) == 0;
    while (sent && avcodec_receive_frame(context, frame) == 0) {
      const auto* data = reinterpret_cast<const int16_t*>(frame->data[0]);
      samples.insert(samples.end(), data, data + frame->nb_samples);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return samples;
}

}  // namespace vexa::test
