#include "camera/JpegEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr int kBestQscale = 1;
constexpr int kWorstQscale = 31;
constexpr int kMaxSide = 8192;  // beyond what any camera of this system sends

void copyPlane(const std::vector<uint8_t>& source, int width, int height, uint8_t* target,
               int stride) {
  for (int y = 0; y < height; ++y) {
    std::memcpy(target + size_t(y) * size_t(stride), source.data() + size_t(y) * size_t(width),
                size_t(width));
  }
}

}  // namespace

JpegEncoder::~JpegEncoder() {
  close();
}

int JpegEncoder::qscaleForQuality(int quality) {
  const int q = std::clamp(quality, kMinQuality, kMaxQuality);
  const double exponent = double(kMaxQuality - q) / double(kMaxQuality - kMinQuality);
  const int scale = int(std::lround(std::pow(double(kWorstQscale), exponent)));
  return std::clamp(scale, kBestQscale, kWorstQscale);
}

bool JpegEncoder::open(int width, int height, int quality, HuffmanTables tables) {
  close();
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
  if (quality < kMinQuality || quality > kMaxQuality) return false;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (!codec) {
    DebugTrace("JpegEncoder: no MJPEG encoder\n");
    return false;
  }
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) {
    close();
    return false;
  }
  qscale_ = qscaleForQuality(quality);
  context_->width = width;
  context_->height = height;
  context_->pix_fmt = AV_PIX_FMT_YUVJ420P;
  context_->color_range = AVCOL_RANGE_JPEG;
  context_->time_base = AVRational{1, 25};
  // Square pixels; a known aspect ratio also makes the encoder write the JFIF segment.
  context_->sample_aspect_ratio = AVRational{1, 1};
  context_->flags |= AV_CODEC_FLAG_QSCALE;
  context_->global_quality = qscale_ * FF_QP2LAMBDA;
  context_->qmin = kBestQscale;
  context_->qmax = kWorstQscale;
  av_opt_set(context_->priv_data, "huffman",
             tables == HuffmanTables::Standard ? "default" : "optimal", 0);
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    DebugTrace("JpegEncoder: cannot open the encoder for %dx%d\n", width, height);
    close();
    return false;
  }
  frame_->format = AV_PIX_FMT_YUVJ420P;
  frame_->width = width;
  frame_->height = height;
  frame_->color_range = AVCOL_RANGE_JPEG;
  if (av_frame_get_buffer(frame_, 0) < 0) {
    close();
    return false;
  }
  return true;
}

void JpegEncoder::close() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
  nextPts_ = 0;
}

bool JpegEncoder::copyIntoFrame(const YuvPicture& picture) {
  if (picture.width != context_->width || picture.height != context_->height) return false;
  const size_t lumaSize = size_t(picture.width) * size_t(picture.height);
  const size_t chromaSize = size_t(picture.chromaWidth()) * size_t(picture.chromaHeight());
  if (picture.y.size() != lumaSize || picture.u.size() != chromaSize ||
      picture.v.size() != chromaSize) {
    return false;
  }
  // The encoder may still hold the previous frame's buffers.
  if (av_frame_make_writable(frame_) < 0) return false;
  copyPlane(picture.y, picture.width, picture.height, frame_->data[0], frame_->linesize[0]);
  copyPlane(picture.u, picture.chromaWidth(), picture.chromaHeight(), frame_->data[1],
            frame_->linesize[1]);
  copyPlane(picture.v, picture.chromaWidth(), picture.chromaHeight(), frame_->data[2],
            frame_->linesize[2]);
  return true;
}

std::vector<uint8_t> JpegEncoder::encode(const YuvPicture& picture) {
  std::vector<uint8_t> jpeg;
  if (!context_ || !copyIntoFrame(picture)) return jpeg;
  frame_->pts = nextPts_++;
  frame_->quality = qscale_ * FF_QP2LAMBDA;
  if (avcodec_send_frame(context_, frame_) < 0) return jpeg;
  // MJPEG has no delay: every frame sent gives its packet at once.
  if (avcodec_receive_packet(context_, packet_) < 0) return jpeg;
  jpeg.assign(packet_->data, packet_->data + packet_->size);
  av_packet_unref(packet_);
  return jpeg;
}

}  // namespace vexa::camera
