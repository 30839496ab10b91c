#pragma once

// Test pictures and the FFmpeg encoders that turn them into JPEG and H.264 input. The colour
// conversion here is written out by hand so the decoders are checked against an independent
// reference, not against the scaler they use themselves.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace vexa::test {

// Broken input is decoded on purpose; FFmpeg's complaints about it would bury the test output.
inline const bool kQuietFfmpeg = (av_log_set_level(AV_LOG_FATAL), true);

struct Rgb {
  int r, g, b;
};
inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

// A 4:2:0 picture with 8-bit planes of exactly the picture's width.
struct YuvPicture {
  int width = 0, height = 0;
  bool fullRange = true;
  std::vector<uint8_t> y, u, v;
};

inline uint8_t clampByte(double value) {
  return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value + 0.5);
}

// BT.601, full range (JPEG) or limited range (studio video).
inline YuvPicture makeYuv(int width, int height, const std::function<Rgb(int, int)>& colour,
                          bool fullRange = true) {
  YuvPicture picture{width, height, fullRange, {}, {}, {}};
  const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  picture.y.resize(size_t(width) * height);
  picture.u.resize(size_t(chromaWidth) * chromaHeight);
  picture.v.resize(size_t(chromaWidth) * chromaHeight);
  const double lumaScale = fullRange ? 1.0 : 219.0 / 255.0;
  const double chromaScale = fullRange ? 1.0 : 224.0 / 255.0;
  const double lumaOffset = fullRange ? 0.0 : 16.0;
  std::vector<double> cb(size_t(width) * height), cr(size_t(width) * height);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour(x, row);
      const size_t i = size_t(row) * width + x;
      picture.y[i] = clampByte(lumaOffset + lumaScale * (0.299 * c.r + 0.587 * c.g + 0.114 * c.b));
      cb[i] = chromaScale * (-0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b);
      cr[i] = chromaScale * (0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b);
    }
  }
  for (int row = 0; row < chromaHeight; ++row) {
    for (int x = 0; x < chromaWidth; ++x) {
      double sumB = 0, sumR = 0;
      int count = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const int sy = 2 * row + dy, sx = 2 * x + dx;
          if (sy >= height || sx >= width) continue;
          sumB += cb[size_t(sy) * width + sx];
          sumR += cr[size_t(sy) * width + sx];
          ++count;
        }
      }
      picture.u[size_t(row) * chromaWidth + x] = clampByte(128 + sumB / count);
      picture.v[size_t(row) * chromaWidth + x] = clampByte(128 + sumR / count);
    }
  }
  return picture;
}

inline Rgb grey(int level) {
  return {level, level, level};
}

// The pixel at column x of stored row `row` of packed BGR rows of width x 3 bytes.
inline Rgb bgrAt(const uint8_t* picture, int width, int row, int x) {
  const uint8_t* p = picture + (size_t(row) * width + x) * 3;
  return {p[2], p[1], p[0]};
}

inline bool near(const Rgb& actual, const Rgb& expected, int tolerance) {
  return std::abs(actual.r - expected.r) <= tolerance &&
         std::abs(actual.g - expected.g) <= tolerance &&
         std::abs(actual.b - expected.b) <= tolerance;
}

// Copies the planes into a frame the encoder may keep.
inline AVFrame* toFrame(const YuvPicture& picture, AVPixelFormat format, int64_t pts) {
  AVFrame* frame = av_frame_alloc();
  frame->width = picture.width;
  frame->height = picture.height;
  frame->format = format;
  frame->pts = pts;
  if (av_frame_get_buffer(frame, 0) < 0) {
    av_frame_free(&frame);
    return nullptr;
  }
  const int chromaWidth = (picture.width + 1) / 2, chromaHeight = (picture.height + 1) / 2;
  const std::vector<uint8_t>* planes[3] = {&picture.y, &picture.u, &picture.v};
  for (int p = 0; p < 3; ++p) {
    const int rowBytes = p == 0 ? picture.width : chromaWidth;
    const int rows = p == 0 ? picture.height : chromaHeight;
    for (int row = 0; row < rows; ++row) {
      std::memcpy(frame->data[p] + size_t(row) * frame->linesize[p],
                  planes[p]->data() + size_t(row) * rowBytes, rowBytes);
    }
  }
  return frame;
}

// Encodes pictures one by one; each output packet is one whole access unit or JPEG.
class TestEncoder {
 public:
  TestEncoder(const AVCodec* codec, int width, int height, AVPixelFormat format,
              const std::function<void(AVCodecContext*)>& configure)
      : format_(format) {
    if (codec == nullptr) return;
    context_ = avcodec_alloc_context3(codec);
    context_->width = width;
    context_->height = height;
    context_->pix_fmt = format;
    context_->time_base = {1, 25};
    configure(context_);
    if (avcodec_open2(context_, codec, nullptr) < 0) avcodec_free_context(&context_);
  }
  ~TestEncoder() { avcodec_free_context(&context_); }
  TestEncoder(const TestEncoder&) = delete;
  TestEncoder& operator=(const TestEncoder&) = delete;

  bool ok() const { return context_ != nullptr; }

  std::vector<uint8_t> encode(const YuvPicture& picture, int quality = 0) {
    std::vector<uint8_t> out;
    if (!ok()) return out;
    AVFrame* frame = toFrame(picture, format_, pts_++);
    if (frame == nullptr) return out;
    if (quality > 0) frame->quality = quality;
    if (avcodec_send_frame(context_, frame) >= 0) {
      AVPacket* packet = av_packet_alloc();
      while (avcodec_receive_packet(context_, packet) >= 0) {
        out.insert(out.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet);
      }
      av_packet_free(&packet);
    }
    av_frame_free(&frame);
    return out;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVPixelFormat format_;
  int64_t pts_ = 0;
};

constexpr int kJpegQScale = 2;

inline std::vector<uint8_t> encodeJpeg(const YuvPicture& picture) {
  TestEncoder encoder(avcodec_find_encoder(AV_CODEC_ID_MJPEG), picture.width, picture.height,
                      AV_PIX_FMT_YUVJ420P, [](AVCodecContext* context) {
                        context->flags |= AV_CODEC_FLAG_QSCALE;
                        context->color_range = AVCOL_RANGE_JPEG;
                      });
  return encoder.encode(picture, FF_QP2LAMBDA * kJpegQScale);
}

inline const AVCodec* h264Encoder() {
  return avcodec_find_encoder_by_name("libx264");
}

// An H.264 encoder that puts parameter sets before every key picture and answers each picture
// at once (no reordering, no look-ahead). lossless keeps samples exact.
inline std::unique_ptr<TestEncoder> makeH264Encoder(int width, int height, bool fullRange = false,
                                                    bool lossless = false) {
  return std::make_unique<TestEncoder>(
      h264Encoder(), width, height, AV_PIX_FMT_YUV420P, [=](AVCodecContext* context) {
        context->max_b_frames = 0;
        context->gop_size = 250;
        context->color_range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        if (lossless) av_opt_set(context->priv_data, "qp", "0", 0);
      });
}

// The NAL units of an Annex B access unit, each with its start code.
inline std::vector<std::vector<uint8_t>> splitNalUnits(const std::vector<uint8_t>& unit) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= unit.size(); ++i) {
    if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1) {
      starts.push_back(i > 0 && unit[i - 1] == 0 ? i - 1 : i);
      i += 2;
    }
  }
  std::vector<std::vector<uint8_t>> nals;
  for (size_t n = 0; n < starts.size(); ++n) {
    const size_t end = n + 1 < starts.size() ? starts[n + 1] : unit.size();
    nals.emplace_back(unit.begin() + starts[n], unit.begin() + end);
  }
  return nals;
}

inline int nalType(const std::vector<uint8_t>& nal) {
  for (size_t i = 0; i + 1 < nal.size(); ++i) {
    if (nal[i] == 1) return nal[i + 1] & 0x1F;
  }
  return -1;
}

}  // namespace vexa::test
