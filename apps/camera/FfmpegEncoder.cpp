#include "camera/FfmpegEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstring>

namespace vexa::camera {
namespace {

// Full (JPEG) range to video range: luma 16..235, chroma 16..240.
constexpr int kLumaFloor = 16;
constexpr int kLumaSpan = 219;
constexpr int kChromaSpan = 224;
constexpr int kChromaCentre = 128;
constexpr int kFullSpan = 255;

uint8_t toVideoLuma(uint8_t full) {
  return uint8_t(kLumaFloor + (full * kLumaSpan + kFullSpan / 2) / kFullSpan);
}

uint8_t toVideoChroma(uint8_t full) {
  const int centred = (int(full) - kChromaCentre) * kChromaSpan;
  const int rounded = centred >= 0 ? (centred + kFullSpan / 2) / kFullSpan
                                   : -((-centred + kFullSpan / 2) / kFullSpan);
  return uint8_t(kChromaCentre + rounded);
}

using SampleMap = uint8_t (*)(uint8_t);

// A null map copies the rows as they are.
void copyPlane(const std::vector<uint8_t>& source, int width, int height, uint8_t* target,
               int stride, SampleMap convert) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* from = source.data() + size_t(y) * size_t(width);
    uint8_t* to = target + size_t(y) * size_t(stride);
    if (!convert) {
      std::memcpy(to, from, size_t(width));
      continue;
    }
    for (int x = 0; x < width; ++x) to[x] = convert(from[x]);
  }
}

}  // namespace

FfmpegEncoder::~FfmpegEncoder() {
  close();
}

bool FfmpegEncoder::open(const AVCodec* codec, const Configure& configure) {
  close();
  if (!codec) return false;
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) {
    close();
    return false;
  }
  configure(*context_);
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    close();
    return false;
  }
  frame_->format = context_->pix_fmt;
  frame_->width = context_->width;
  frame_->height = context_->height;
  frame_->color_range = context_->color_range;
  if (av_frame_get_buffer(frame_, 0) < 0) {
    close();
    return false;
  }
  return true;
}

void FfmpegEncoder::close() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
  nextPts_ = 0;
}

bool FfmpegEncoder::copyIntoFrame(const YuvPicture& picture) {
  if (picture.width != context_->width || picture.height != context_->height) return false;
  const size_t lumaSize = size_t(picture.width) * size_t(picture.height);
  const size_t chromaSize = size_t(picture.chromaWidth()) * size_t(picture.chromaHeight());
  if (picture.y.size() != lumaSize || picture.u.size() != chromaSize ||
      picture.v.size() != chromaSize) {
    return false;
  }
  // The encoder may still hold the previous frame's buffers.
  if (av_frame_make_writable(frame_) < 0) return false;
  const bool videoRange = context_->color_range == AVCOL_RANGE_MPEG;
  const SampleMap luma = videoRange ? toVideoLuma : nullptr;
  const SampleMap chroma = videoRange ? toVideoChroma : nullptr;
  copyPlane(picture.y, picture.width, picture.height, frame_->data[0], frame_->linesize[0], luma);
  copyPlane(picture.u, picture.chromaWidth(), picture.chromaHeight(), frame_->data[1],
            frame_->linesize[1], chroma);
  copyPlane(picture.v, picture.chromaWidth(), picture.chromaHeight(), frame_->data[2],
            frame_->linesize[2], chroma);
  return true;
}

std::vector<uint8_t> FfmpegEncoder::encode(const YuvPicture& picture, int quality) {
  std::vector<uint8_t> bytes;
  if (!context_ || !copyIntoFrame(picture)) return bytes;
  frame_->pts = nextPts_++;
  frame_->quality = quality;
  if (avcodec_send_frame(context_, frame_) < 0) return bytes;
  // Both codecs used here run without delay: every frame sent gives its packet at once.
  if (avcodec_receive_packet(context_, packet_) < 0) return bytes;
  bytes.assign(packet_->data, packet_->data + packet_->size);
  av_packet_unref(packet_);
  return bytes;
}

}  // namespace vexa::camera
