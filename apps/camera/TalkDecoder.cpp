#include "camera/TalkDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstring>

#include "camera/FfmpegAudio.h"
#include "common/DebugTrace.h"

namespace vexa::camera {

TalkDecoder::~TalkDecoder() {
  close();
}

bool TalkDecoder::open(AudioCodec codec) {
  close();
  const AudioCodecInfo* info = audioCodecInfo(codec);
  if (!info) return false;
  const AVCodec* decoder = findAudioDecoder(*info);
  if (!decoder) return false;
  context_ = allocateAudioContext(decoder, *info);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_ || avcodec_open2(context_, decoder, nullptr) < 0) {
    DebugTrace("TalkDecoder: cannot open %s\n", decoder->name);
    close();
    return false;
  }
  return true;
}

void TalkDecoder::close() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

bool TalkDecoder::decode(std::span<const uint8_t> payload, std::vector<int16_t>& out) {
  if (!context_ || payload.empty()) return false;
  // A fresh packet brings the zeroed padding FFmpeg's readers may run into.
  av_packet_unref(packet_);
  if (av_new_packet(packet_, int(payload.size())) < 0) return false;
  std::memcpy(packet_->data, payload.data(), payload.size());
  if (avcodec_send_packet(context_, packet_) < 0) return false;
  const size_t before = out.size();
  while (avcodec_receive_frame(context_, frame_) == 0) {
    if (frame_->format == AV_SAMPLE_FMT_S16 && frame_->ch_layout.nb_channels == 1) {
      const auto* samples = reinterpret_cast<const int16_t*>(frame_->data[0]);
      out.insert(out.end(), samples, samples + frame_->nb_samples);
    }
    av_frame_unref(frame_);
  }
  return out.size() > before;
}

}  // namespace vexa::camera
