#include "camera/Mpeg4Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "common/DebugTrace.h"
#include "media/Mpeg4Configuration.h"

namespace vexa::camera {
namespace {

constexpr int kQuantiser = 3;  // fine enough to compare decoded pictures closely
constexpr int kMaxKeyFrameInterval = 1000;

void configureMpeg4(AVCodecContext& context, const Mpeg4EncoderSettings& settings) {
  context.width = settings.width;
  context.height = settings.height;
  context.pix_fmt = AV_PIX_FMT_YUV420P;
  context.color_range = AVCOL_RANGE_MPEG;
  context.time_base = AVRational{1, settings.fps};
  context.framerate = AVRational{settings.fps, 1};
  context.gop_size = settings.keyFrameInterval;
  context.max_b_frames = 0;
  context.thread_count = 1;
  context.flags |= AV_CODEC_FLAG_QSCALE;
  context.global_quality = kQuantiser * FF_QP2LAMBDA;
  // The configuration goes to the session description instead of in front of intra VOPs. It keeps
  // the encoder's version text, as files and servers that carry this encoder's streams do, so
  // viewers meet the longer configuration they meet in the field.
  context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

}  // namespace

bool Mpeg4Encoder::open(const Mpeg4EncoderSettings& settings) {
  close();
  if (settings.width < 2 || settings.height < 2 || settings.width > kMaxSide ||
      settings.height > kMaxSide || settings.width % 2 != 0 || settings.height % 2 != 0 ||
      settings.fps < 1 || settings.keyFrameInterval < 1 ||
      settings.keyFrameInterval > kMaxKeyFrameInterval) {
    return false;
  }
  const auto configure = [&settings](AVCodecContext& context) {
    configureMpeg4(context, settings);
  };
  if (!encoder_.open(avcodec_find_encoder(AV_CODEC_ID_MPEG4), configure) || !takeConfiguration()) {
    DebugTrace("Mpeg4Encoder: cannot open for %dx%d\n", settings.width, settings.height);
    close();
    return false;
  }
  return true;
}

bool Mpeg4Encoder::takeConfiguration() {
  const AVCodecContext* context = encoder_.context();
  if (!context->extradata || context->extradata_size <= 0) return false;
  const std::span<const uint8_t> header(context->extradata, size_t(context->extradata_size));
  const std::optional<size_t> at =
      findMpeg4StartCode(header, 0, kVisualObjectSequenceCode, kVisualObjectSequenceCode);
  if (!at) return false;
  configuration_.assign(header.begin() + std::ptrdiff_t(*at), header.end());
  return true;
}

void Mpeg4Encoder::close() {
  encoder_.close();
  configuration_.clear();
}

std::vector<uint8_t> Mpeg4Encoder::encode(const YuvPicture& picture) {
  return encoder_.encode(picture, kQuantiser * FF_QP2LAMBDA);
}

}  // namespace vexa::camera
