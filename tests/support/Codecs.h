#pragma once

// FFmpeg on the test side: encoders that turn hand-built pictures into JPEG and H.264 input, and
// a decoder that turns image files back into top-down BGR. The RGB to YUV conversion is written
// out by hand so the decoders are checked against an independent reference, not against the
// scaler they use themselves.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
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
inline Rgb grey(int level) {
  return {level, level, level};
}
inline bool near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}
// The pixel at column x of stored row `row` of packed BGR rows of width x 3 bytes.
inline Rgb bgrAt(const uint8_t* picture, int width, int row, int x) {
  const uint8_t* p = picture + (size_t(row) * width + x) * 3;
  return {p[2], p[1], p[0]};
}

// 4:2:0 with 8-bit planes of exactly the picture's width.
struct YuvPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;
};

inline uint8_t clampByte(double value) {
  return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value + 0.5);
}

// BT.601, full range (JPEG) or limited range (studio video); chroma is the mean of each block.
inline YuvPicture makeYuv(int width, int height, const std::function<Rgb(int, int)>& colour,
                          bool fullRange = true) {
  const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  YuvPicture picture{width, height, std::vector<uint8_t>(size_t(width) * height),
                     std::vector<uint8_t>(size_t(chromaWidth) * chromaHeight),
                     std::vector<uint8_t>(size_t(chromaWidth) * chromaHeight)};
  const double lumaScale = fullRange ? 1.0 : 219.0 / 255.0;
  const double chromaScale = fullRange ? 1.0 : 224.0 / 255.0;
  std::vector<double> cb(picture.u.size()), cr(picture.u.size()), count(picture.u.size());
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour(x, row);
      const size_t chroma = size_t(row / 2) * chromaWidth + x / 2;
      picture.y[size_t(row) * width + x] =
          clampByte((fullRange ? 0 : 16) + lumaScale * (0.299 * c.r + 0.587 * c.g + 0.114 * c.b));
      cb[chroma] += chromaScale * (-0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b);
      cr[chroma] += chromaScale * (0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b);
      ++count[chroma];
    }
  }
  for (size_t i = 0; i < cb.size(); ++i) {
    picture.u[i] = clampByte(128 + cb[i] / count[i]);
    picture.v[i] = clampByte(128 + cr[i] / count[i]);
  }
  return picture;
}

// Encodes pictures one by one; each output is one whole access unit or JPEG.
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
  bool opened() const { return context_ != nullptr; }
  // The stream headers an encoder opened with a global header gives apart from the pictures.
  std::vector<uint8_t> extradata() const {
    if (context_ == nullptr || context_->extradata == nullptr) return {};
    return {context_->extradata, context_->extradata + context_->extradata_size};
  }
  TestEncoder(const TestEncoder&) = delete;
  TestEncoder& operator=(const TestEncoder&) = delete;

  std::vector<uint8_t> encode(const YuvPicture& picture, int quality = 0) {
    std::vector<uint8_t> out;
    AVFrame* frame = context_ ? av_frame_alloc() : nullptr;
    if (frame == nullptr) return out;
    frame->width = picture.width;
    frame->height = picture.height;
    frame->format = format_;
    frame->pts = pts_++;
    if (quality > 0) frame->quality = quality;
    if (av_frame_get_buffer(frame, 0) >= 0) {
      const std::vector<uint8_t>* planes[3] = {&picture.y, &picture.u, &picture.v};
      for (int p = 0; p < 3; ++p) {
        const int rowBytes = p == 0 ? picture.width : (picture.width + 1) / 2;
        for (size_t row = 0; row * rowBytes < planes[p]->size(); ++row) {
          std::copy_n(planes[p]->data() + row * rowBytes, rowBytes,
                      frame->data[p] + row * frame->linesize[p]);
        }
      }
      if (avcodec_send_frame(context_, frame) >= 0) {
        AVPacket* packet = av_packet_alloc();
        while (avcodec_receive_packet(context_, packet) >= 0) {
          out.insert(out.end(), packet->data, packet->data + packet->size);
          av_packet_unref(packet);
        }
        av_packet_free(&packet);
      }
    }
    av_frame_free(&frame);
    return out;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVPixelFormat format_;
  int64_t pts_ = 0;
};

// typicalHuffman: the tables of T.81 Annex K.3, as RTP/JPEG assumes, rather than optimal ones.
inline std::vector<uint8_t> encodeJpeg(const YuvPicture& picture, bool typicalHuffman = false) {
  constexpr int kQScale = 2;
  TestEncoder encoder(avcodec_find_encoder(AV_CODEC_ID_MJPEG), picture.width, picture.height,
                      AV_PIX_FMT_YUVJ420P, [=](AVCodecContext* context) {
                        context->flags |= AV_CODEC_FLAG_QSCALE;
                        context->color_range = AVCOL_RANGE_JPEG;
                        if (typicalHuffman) av_opt_set(context->priv_data, "huffman", "default", 0);
                      });
  return encoder.encode(picture, FF_QP2LAMBDA * kQScale);
}

inline const AVCodec* h264Encoder() {
  return avcodec_find_encoder_by_name("libx264");
}

// Parameter sets before every key picture, each picture answered at once (no reordering, no
// look-ahead); lossless keeps samples exact.
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

// MPEG-4 visual, an intra picture every gopSize, no B pictures. With a global header the stream
// headers are only in extradata(); without, they go in front of every intra picture.
inline std::unique_ptr<TestEncoder> makeMpeg4Encoder(int width, int height, bool globalHeader,
                                                     int gopSize = 3) {
  return std::make_unique<TestEncoder>(
      avcodec_find_encoder(AV_CODEC_ID_MPEG4), width, height, AV_PIX_FMT_YUV420P,
      [=](AVCodecContext* context) {
        context->max_b_frames = 0;
        context->gop_size = gopSize;
        if (globalHeader) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      });
}

struct DecodedImage {
  int width = 0, height = 0;
  std::vector<uint8_t> bgr;  // top row first
};

// BT.601 4:2:0 samples, each chroma sample covering its 2 x 2 block: JPEG's full range by the
// JFIF equations, or studio video's range (luma 16-235, chroma 16-240) stretched to it.
inline void yuv420ToBgr(const AVFrame& frame, bool fullRange, uint8_t* out) {
  const double lumaFloor = fullRange ? 0 : 16, lumaScale = fullRange ? 1 : 255.0 / 219;
  const double chromaScale = fullRange ? 1 : 255.0 / 224;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x, out += 3) {
      const double luma = lumaScale * (frame.data[0][y * frame.linesize[0] + x] - lumaFloor);
      const double cb = chromaScale * (frame.data[1][(y / 2) * frame.linesize[1] + x / 2] - 128.0);
      const double cr = chromaScale * (frame.data[2][(y / 2) * frame.linesize[2] + x / 2] - 128.0);
      out[0] = clampByte(luma + 1.772 * cb);
      out[1] = clampByte(luma - 0.344136 * cb - 0.714136 * cr);
      out[2] = clampByte(luma + 1.402 * cr);
    }
  }
}

// Decodes an image file, or an H.264 access unit that needs no earlier one, with FFmpeg's own
// decoder.
inline std::optional<DecodedImage> decodeImage(const std::vector<uint8_t>& file, AVCodecID id) {
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::optional<DecodedImage> image;
  if (av_new_packet(packet, int(file.size())) == 0) {
    std::copy(file.begin(), file.end(), packet->data);
    // The drain hands out a picture a decoder would otherwise hold back for reordering.
    if (avcodec_open2(context, codec, nullptr) == 0 && avcodec_send_packet(context, packet) == 0 &&
        avcodec_send_packet(context, nullptr) == 0 && avcodec_receive_frame(context, frame) == 0) {
      image = DecodedImage{frame->width, frame->height, {}};
      image->bgr.resize(size_t(frame->width) * frame->height * 3);
      const auto format = AVPixelFormat(frame->format);
      if (format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUV420P) {
        const bool fullRange =
            format == AV_PIX_FMT_YUVJ420P || frame->color_range == AVCOL_RANGE_JPEG;
        yuv420ToBgr(*frame, fullRange, image->bgr.data());
      } else {
        SwsContext* scaler =
            sws_getContext(frame->width, frame->height, format, frame->width, frame->height,
                           AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {image->bgr.data()};
        const int strides[4] = {frame->width * 3};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        sws_freeContext(scaler);
      }
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return image;
}

}  // namespace vexa::test
