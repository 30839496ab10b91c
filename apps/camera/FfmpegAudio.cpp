#include "camera/FfmpegAudio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <string>

#include "common/DebugTrace.h"

namespace vexa::camera {

const AVCodec* findAudioEncoder(const AudioCodecInfo& info) {
  const AVCodec* encoder = avcodec_find_encoder_by_name(std::string(info.encoderName).c_str());
  if (!encoder) {
    DebugTrace("FfmpegAudio: FFmpeg has no encoder %.*s\n", int(info.encoderName.size()),
               info.encoderName.data());
  }
  return encoder;
}

// The decoder of the encoder's bitstream, so both ends pack code words alike.
const AVCodec* findAudioDecoder(const AudioCodecInfo& info) {
  const AVCodec* encoder = findAudioEncoder(info);
  return encoder ? avcodec_find_decoder(encoder->id) : nullptr;
}

AVCodecContext* allocateAudioContext(const AVCodec* codec, const AudioCodecInfo& info) {
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!context) return nullptr;
  context->sample_rate = kAudioClockRate;
  context->sample_fmt = AV_SAMPLE_FMT_S16;
  context->bit_rate = int64_t(info.bitsPerSample) * kAudioClockRate;
  // The G.726 decoder takes its code word size from here.
  context->bits_per_coded_sample = info.bitsPerSample;
  av_channel_layout_default(&context->ch_layout, 1);
  context->time_base = AVRational{1, kAudioClockRate};
  return context;
}

bool OpenedAudioCodec::open(const AVCodec* codec, const AudioCodecInfo& info) {
  close();
  if (codec == nullptr) return false;
  context = allocateAudioContext(codec, info);
  frame = av_frame_alloc();
  packet = av_packet_alloc();
  if (!context || !frame || !packet || avcodec_open2(context, codec, nullptr) < 0) {
    DebugTrace("FfmpegAudio: cannot open %s\n", codec->name);
    close();
    return false;
  }
  return true;
}

void OpenedAudioCodec::close() {
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
}

}  // namespace vexa::camera
