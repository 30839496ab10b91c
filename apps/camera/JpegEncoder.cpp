#include "camera/JpegEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr int kBestQscale = 1;
constexpr int kWorstQscale = 31;
constexpr int kMaxSide = 8192;  // beyond what any camera of this system sends

void configureMjpeg(AVCodecContext& context, int width, int height, int qscale,
                    JpegEncoder::HuffmanTables tables) {
  context.width = width;
  context.height = height;
  context.pix_fmt = AV_PIX_FMT_YUVJ420P;
  context.color_range = AVCOL_RANGE_JPEG;
  context.time_base = AVRational{1, 25};
  // Square pixels; a known aspect ratio also makes the encoder write the JFIF segment.
  context.sample_aspect_ratio = AVRational{1, 1};
  context.flags |= AV_CODEC_FLAG_QSCALE;
  context.global_quality = qscale * FF_QP2LAMBDA;
  context.qmin = kBestQscale;
  context.qmax = kWorstQscale;
  av_opt_set(context.priv_data, "huffman",
             tables == JpegEncoder::HuffmanTables::Standard ? "default" : "optimal", 0);
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
  qscale_ = qscaleForQuality(quality);
  const auto configure = [&](AVCodecContext& context) {
    configureMjpeg(context, width, height, qscale_, tables);
  };
  if (!encoder_.open(codec, configure)) {
    DebugTrace("JpegEncoder: cannot open the encoder for %dx%d\n", width, height);
    close();
    return false;
  }
  return true;
}

void JpegEncoder::close() {
  encoder_.close();
}

std::vector<uint8_t> JpegEncoder::encode(const YuvPicture& picture) {
  return encoder_.encode(picture, qscale_ * FF_QP2LAMBDA);
}

}  // namespace vexa::camera
