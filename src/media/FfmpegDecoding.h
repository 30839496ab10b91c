#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vexa::ffmpeg {

enum class DecodeResult { kPicture, kNoPicture, kError };

// Gives frame buffers of this size and pixel format to write a picture into: its own when nobody
// else holds them and they already fit, else new ones. False when none could be had.
bool prepareFrame(AVFrame* frame, int width, int height, int format);

// One FFmpeg decoder: its codec, context, and the frames and packet it decodes through.
class Decoder {
 public:
  // maxPixels: pictures larger than this are refused before FFmpeg allocates them.
  Decoder(AVCodecID codecId, int flags2, int64_t maxPixels)
      : codecId_(codecId), flags2_(flags2), maxPixels_(maxPixels) {}
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder();

  // Finds the codec and opens a context; false when either is missing.
  bool open();
  // Drops the context; true when there was one.
  bool close();
  // A fresh context for a decoder that was opened before; false when none could be opened.
  bool reopen();
  bool isOpen() const { return context_ != nullptr; }

  // Feeds data as one whole packet and keeps the newest picture it produced in frame(). The
  // packet is copied into padded memory, so data needs no padding.
  DecodeResult decode(const uint8_t* data, int length);
  const AVFrame& frame() const { return *frame_; }

 private:
  bool openContext();

  const AVCodecID codecId_;
  const int flags2_;
  const int64_t maxPixels_;
  const AVCodec* codec_ = nullptr;
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVFrame* spare_ = nullptr;  // scratch for draining the decoder
  AVPacket* packet_ = nullptr;
};

}  // namespace vexa::ffmpeg
