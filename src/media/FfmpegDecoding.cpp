#include "media/FfmpegDecoding.h"

#include "common/DebugTrace.h"

namespace vexa::ffmpeg {

AVCodecContext* openDecoderContext(const AVCodec* codec, int flags2, int64_t maxPixels) {
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context == nullptr) return nullptr;
  context->flags2 |= flags2;
  context->max_pixels = maxPixels;
  if (avcodec_open2(context, codec, nullptr) < 0) {
    DebugTrace("decoder %s: cannot open", codec->name);
    avcodec_free_context(&context);
  }
  return context;
}

DecodeResult decodePacket(AVCodecContext* context, AVPacket* packet, const uint8_t* data,
                          int length, AVFrame* frame, AVFrame* spare) {
  // The packet has no buffer of its own, so sending it copies the bytes into padded memory.
  packet->data = const_cast<uint8_t*>(data);
  packet->size = length;
  const int sent = avcodec_send_packet(context, packet);
  packet->data = nullptr;
  packet->size = 0;
  if (sent < 0) {
    DebugTrace("decoder %s: packet of %d bytes refused (%d)", context->codec->name, length, sent);
    return DecodeResult::kError;
  }
  // Take every picture the packet completed and keep the newest, so nothing stays queued
  // inside the decoder and the next packet is never refused for a full output.
  bool got = false;
  for (;;) {
    const int received = avcodec_receive_frame(context, spare);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) break;
    if (received < 0) {
      DebugTrace("decoder %s: no picture (%d)", context->codec->name, received);
      return got ? DecodeResult::kPicture : DecodeResult::kError;
    }
    av_frame_unref(frame);
    av_frame_move_ref(frame, spare);
    got = true;
  }
  return got ? DecodeResult::kPicture : DecodeResult::kNoPicture;
}

}  // namespace vexa::ffmpeg
