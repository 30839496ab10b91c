#include "media/FfmpegDecoding.h"

#include "common/DebugTrace.h"

namespace vexa::ffmpeg {

bool prepareFrame(AVFrame* frame, int width, int height, int format) {
  if (frame->data[0] != nullptr && frame->width == width && frame->height == height &&
      frame->format == format && av_frame_is_writable(frame)) {
    return true;
  }
  av_frame_unref(frame);
  frame->width = width;
  frame->height = height;
  frame->format = format;
  return av_frame_get_buffer(frame, 0) >= 0;
}

Decoder::~Decoder() {
  avcodec_free_context(&context_);
  av_frame_free(&frame_);
  av_frame_free(&spare_);
  av_packet_free(&packet_);
}

bool Decoder::open() {
  if (isOpen()) return true;
  codec_ = avcodec_find_decoder(codecId_);
  if (codec_ == nullptr) return false;
  if (frame_ == nullptr) frame_ = av_frame_alloc();
  if (spare_ == nullptr) spare_ = av_frame_alloc();
  if (packet_ == nullptr) packet_ = av_packet_alloc();
  if (frame_ == nullptr || spare_ == nullptr || packet_ == nullptr) return false;
  return openContext();
}

bool Decoder::openContext() {
  context_ = avcodec_alloc_context3(codec_);
  if (context_ == nullptr) return false;
  context_->flags2 |= flags2_;
  context_->max_pixels = maxPixels_;
  if (avcodec_open2(context_, codec_, nullptr) < 0) {
    DebugTrace("decoder %s: cannot open", codec_->name);
    avcodec_free_context(&context_);
  }
  return context_ != nullptr;
}

bool Decoder::close() {
  if (context_ == nullptr) return false;
  avcodec_free_context(&context_);
  return true;
}

bool Decoder::reopen() {
  close();
  return codec_ != nullptr && openContext();
}

DecodeResult Decoder::decode(const uint8_t* data, int length) {
  if (!isOpen()) return DecodeResult::kError;
  AVCodecContext* context = context_;
  AVFrame* frame = frame_;
  AVFrame* spare = spare_;
  // The packet has no buffer of its own, so sending it copies the bytes into padded memory.
  packet_->data = const_cast<uint8_t*>(data);
  packet_->size = length;
  const int sent = avcodec_send_packet(context, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
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
