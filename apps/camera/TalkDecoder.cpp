#include "camera/TalkDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstring>

namespace vexa::camera {

bool TalkDecoder::open(AudioCodec codec) {
  close();
  const AudioCodecInfo* info = audioCodecInfo(codec);
  return info != nullptr && codec_.open(findAudioDecoder(*info), *info);
}

bool TalkDecoder::decode(std::span<const uint8_t> payload, std::vector<int16_t>& out) {
  AVPacket* packet = codec_.packet;
  AVFrame* frame = codec_.frame;
  if (!codec_.context || payload.empty()) return false;
  // A fresh packet brings the zeroed padding FFmpeg's readers may run into.
  av_packet_unref(packet);
  if (av_new_packet(packet, int(payload.size())) < 0) return false;
  std::memcpy(packet->data, payload.data(), payload.size());
  if (avcodec_send_packet(codec_.context, packet) < 0) return false;
  const size_t before = out.size();
  while (avcodec_receive_frame(codec_.context, frame) == 0) {
    if (frame->format == AV_SAMPLE_FMT_S16 && frame->ch_layout.nb_channels == 1) {
      const auto* samples = reinterpret_cast<const int16_t*>(frame->data[0]);
      out.insert(out.end(), samples, samples + frame->nb_samples);
    }
    av_frame_unref(frame);
  }
  return out.size() > before;
}

}  // namespace vexa::camera
