#include "camera/H264Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <string>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr double kConstantRateFactor = 18;  // good enough to compare decoded pictures closely
constexpr int kMaxKeyFrameInterval = 1000;

bool startCodeAt(std::span<const uint8_t> bytes, size_t at) {
  return at + 3 <= bytes.size() && bytes[at] == 0 && bytes[at + 1] == 0 && bytes[at + 2] == 1;
}

void configureX264(AVCodecContext& context, const H264EncoderSettings& settings) {
  context.width = settings.width;
  context.height = settings.height;
  context.pix_fmt = AV_PIX_FMT_YUV420P;
  context.color_range = AVCOL_RANGE_MPEG;
  context.time_base = AVRational{1, settings.fps};
  context.framerate = AVRational{settings.fps, 1};
  context.gop_size = settings.keyFrameInterval;
  context.max_b_frames = 0;
  context.thread_count = 1;
  // The global header hands out the parameter sets for the session description before the
  // first picture; repeat-headers still puts them in band, so a viewer joining late can start.
  context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(context.priv_data, "preset", "veryfast", 0);
  av_opt_set(context.priv_data, "tune", "zerolatency", 0);
  av_opt_set(context.priv_data, "profile", "baseline", 0);
  av_opt_set_double(context.priv_data, "crf", kConstantRateFactor, 0);
  const std::string params =
      "repeat-headers=1:scenecut=0:keyint-min=" + std::to_string(settings.keyFrameInterval);
  av_opt_set(context.priv_data, "x264-params", params.c_str(), 0);
}

}  // namespace

std::vector<std::span<const uint8_t>> splitAnnexB(std::span<const uint8_t> stream) {
  std::vector<std::span<const uint8_t>> units;
  size_t at = 0;
  while (at < stream.size() && !startCodeAt(stream, at)) ++at;
  while (at < stream.size()) {
    const size_t begin = at + 3;
    size_t end = begin;
    while (end < stream.size() && !startCodeAt(stream, end)) ++end;
    at = end;
    while (end > begin && stream[end - 1] == 0) --end;
    if (end > begin) units.push_back(stream.subspan(begin, end - begin));
  }
  return units;
}

H264Encoder::~H264Encoder() {
  close();
}

bool H264Encoder::open(const H264EncoderSettings& settings) {
  close();
  if (settings.width < 2 || settings.height < 2 || settings.width > kMaxSide ||
      settings.height > kMaxSide || settings.width % 2 != 0 || settings.height % 2 != 0 ||
      settings.fps < 1 || settings.keyFrameInterval < 1 ||
      settings.keyFrameInterval > kMaxKeyFrameInterval) {
    return false;
  }
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) {
    DebugTrace("H264Encoder: FFmpeg has no libx264\n");
    return false;
  }
  const auto configure = [&settings](AVCodecContext& context) { configureX264(context, settings); };
  if (!encoder_.open(codec, configure) || !takeParameterSets()) {
    DebugTrace("H264Encoder: cannot open libx264 for %dx%d\n", settings.width, settings.height);
    close();
    return false;
  }
  return true;
}

bool H264Encoder::takeParameterSets() {
  const AVCodecContext* context = encoder_.context();
  if (!context->extradata || context->extradata_size <= 0) return false;
  const std::span<const uint8_t> header(context->extradata, size_t(context->extradata_size));
  for (const auto unit : splitAnnexB(header)) {
    const uint8_t type = nal::typeOf(unit);
    if (type == nal::kSps && sps_.empty()) sps_.assign(unit.begin(), unit.end());
    if (type == nal::kPps && pps_.empty()) pps_.assign(unit.begin(), unit.end());
  }
  return !sps_.empty() && !pps_.empty();
}

void H264Encoder::close() {
  encoder_.close();
  sps_.clear();
  pps_.clear();
}

std::vector<NalUnit> H264Encoder::encode(const YuvPicture& picture) {
  std::vector<NalUnit> units;
  // Zero latency: the access unit of this picture comes out at once.
  const std::vector<uint8_t> accessUnit = encoder_.encode(picture, 0);
  for (const auto unit : splitAnnexB(accessUnit)) {
    // The encoder's SEI carries its version and settings, of no use to a viewer; without it a
    // key access unit opens with its SPS, as viewers that look for key units expect.
    if (nal::typeOf(unit) == nal::kSei) continue;
    units.emplace_back(unit.begin(), unit.end());
  }
  return units;
}

}  // namespace vexa::camera
