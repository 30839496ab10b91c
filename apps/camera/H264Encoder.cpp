#include "camera/H264Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include <string>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr uint8_t kNalTypeMask = 0x1F;
constexpr uint8_t kNalSei = 6;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr double kConstantRateFactor = 18;  // good enough to compare decoded pictures closely
constexpr int kMaxKeyFrameInterval = 1000;

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

void copyPlane(const std::vector<uint8_t>& source, int width, int height, uint8_t* target,
               int stride, uint8_t (*convert)(uint8_t)) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* from = source.data() + size_t(y) * size_t(width);
    uint8_t* to = target + size_t(y) * size_t(stride);
    for (int x = 0; x < width; ++x) to[x] = convert(from[x]);
  }
}

bool startCodeAt(std::span<const uint8_t> bytes, size_t at) {
  return at + 3 <= bytes.size() && bytes[at] == 0 && bytes[at + 1] == 0 && bytes[at + 2] == 1;
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
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) {
    close();
    return false;
  }
  context_->width = settings.width;
  context_->height = settings.height;
  context_->pix_fmt = AV_PIX_FMT_YUV420P;
  context_->color_range = AVCOL_RANGE_MPEG;
  context_->time_base = AVRational{1, settings.fps};
  context_->framerate = AVRational{settings.fps, 1};
  context_->gop_size = settings.keyFrameInterval;
  context_->max_b_frames = 0;
  context_->thread_count = 1;
  // The global header hands out the parameter sets for the session description before the first
  // picture; repeat-headers still puts them in band, so a viewer joining late can start.
  context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(context_->priv_data, "preset", "veryfast", 0);
  av_opt_set(context_->priv_data, "tune", "zerolatency", 0);
  av_opt_set(context_->priv_data, "profile", "baseline", 0);
  av_opt_set_double(context_->priv_data, "crf", kConstantRateFactor, 0);
  const std::string params =
      "repeat-headers=1:scenecut=0:keyint-min=" + std::to_string(settings.keyFrameInterval);
  av_opt_set(context_->priv_data, "x264-params", params.c_str(), 0);
  if (avcodec_open2(context_, codec, nullptr) < 0 || !takeParameterSets()) {
    DebugTrace("H264Encoder: cannot open libx264 for %dx%d\n", settings.width, settings.height);
    close();
    return false;
  }
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = settings.width;
  frame_->height = settings.height;
  frame_->color_range = AVCOL_RANGE_MPEG;
  if (av_frame_get_buffer(frame_, 0) < 0) {
    close();
    return false;
  }
  return true;
}

bool H264Encoder::takeParameterSets() {
  if (!context_->extradata || context_->extradata_size <= 0) return false;
  const std::span<const uint8_t> header(context_->extradata, size_t(context_->extradata_size));
  for (const auto unit : splitAnnexB(header)) {
    const uint8_t type = unit[0] & kNalTypeMask;
    if (type == kNalSps && sps_.empty()) sps_.assign(unit.begin(), unit.end());
    if (type == kNalPps && pps_.empty()) pps_.assign(unit.begin(), unit.end());
  }
  return !sps_.empty() && !pps_.empty();
}

void H264Encoder::close() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
  nextPts_ = 0;
  sps_.clear();
  pps_.clear();
}

bool H264Encoder::copyIntoFrame(const YuvPicture& picture) {
  if (picture.width != context_->width || picture.height != context_->height) return false;
  const size_t lumaSize = size_t(picture.width) * size_t(picture.height);
  const size_t chromaSize = size_t(picture.chromaWidth()) * size_t(picture.chromaHeight());
  if (picture.y.size() != lumaSize || picture.u.size() != chromaSize ||
      picture.v.size() != chromaSize) {
    return false;
  }
  if (av_frame_make_writable(frame_) < 0) return false;
  copyPlane(picture.y, picture.width, picture.height, frame_->data[0], frame_->linesize[0],
            toVideoLuma);
  copyPlane(picture.u, picture.chromaWidth(), picture.chromaHeight(), frame_->data[1],
            frame_->linesize[1], toVideoChroma);
  copyPlane(picture.v, picture.chromaWidth(), picture.chromaHeight(), frame_->data[2],
            frame_->linesize[2], toVideoChroma);
  return true;
}

std::vector<NalUnit> H264Encoder::encode(const YuvPicture& picture) {
  std::vector<NalUnit> units;
  if (!context_ || !copyIntoFrame(picture)) return units;
  frame_->pts = nextPts_++;
  if (avcodec_send_frame(context_, frame_) < 0) return units;
  // Zero latency: the access unit of this picture comes out at once.
  if (avcodec_receive_packet(context_, packet_) < 0) return units;
  for (const auto unit : splitAnnexB({packet_->data, size_t(packet_->size)})) {
    // The encoder's SEI carries its version and settings, of no use to a viewer; without it a
    // key access unit opens with its SPS, as viewers that look for key units expect.
    if ((unit[0] & kNalTypeMask) == kNalSei) continue;
    units.emplace_back(unit.begin(), unit.end());
  }
  av_packet_unref(packet_);
  return units;
}

}  // namespace vexa::camera
