#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "camera/Picture.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vexa::camera {

// One FFmpeg video encoder with its frame and packet: a picture in, one packet out. The frame takes
// the size, pixel format and colour range the context was configured with; full-range pictures
// are scaled to video range when the context asks for it.
class FfmpegEncoder {
 public:
  // Sets size, pixel format, colour range and codec options before the encoder opens.
  using Configure = std::function<void(AVCodecContext&)>;

  FfmpegEncoder() = default;
  FfmpegEncoder(const FfmpegEncoder&) = delete;
  FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;
  ~FfmpegEncoder();

  bool open(const AVCodec* codec, const Configure& configure);
  void close();
  bool isOpen() const { return context_ != nullptr; }

  // The opened context, for what the codec hands out at open (such as its global header).
  const AVCodecContext* context() const { return context_; }

  // The bytes of the picture's packet; empty when the picture does not match the opened size or
  // the encoder fails. quality is the frame's quality in lambda units, 0 to leave it to the codec.
  std::vector<uint8_t> encode(const YuvPicture& picture, int quality);

 private:
  bool copyIntoFrame(const YuvPicture& picture);

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t nextPts_ = 0;
};

}  // namespace vexa::camera
