#include "record/ImageEncoder.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "common/DebugTrace.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace vexa {
namespace {

struct ExtensionFormat {
  const char* extension;
  ImageFormat format;
};

constexpr ExtensionFormat kExtensions[] = {
    {".jpg", ImageFormat::kJpeg}, {".jpeg", ImageFormat::kJpeg}, {".bmp", ImageFormat::kBmp},
    {".png", ImageFormat::kPng},  {".tif", ImageFormat::kTiff},  {".tiff", ImageFormat::kTiff},
    {".gif", ImageFormat::kGif},
};

// What each encoder takes. JPEG is full-range YUV 4:2:0, as photo viewers expect; GIF gets the
// fixed 3-3-2 palette, which needs no palette search.
struct EncoderChoice {
  AVCodecID codec;
  AVPixelFormat pixelFormat;
};

EncoderChoice encoderFor(ImageFormat format) {
  switch (format) {
    case ImageFormat::kJpeg:
      return {AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUV420P};
    case ImageFormat::kPng:
      return {AV_CODEC_ID_PNG, AV_PIX_FMT_RGB24};
    case ImageFormat::kTiff:
      return {AV_CODEC_ID_TIFF, AV_PIX_FMT_RGB24};
    case ImageFormat::kGif:
      return {AV_CODEC_ID_GIF, AV_PIX_FMT_RGB8};
    case ImageFormat::kBmp:
    default:
      return {AV_CODEC_ID_BMP, AV_PIX_FMT_BGR24};
  }
}

// The JPEG encoder's quantiser scale: about what common image libraries give by default.
constexpr int kJpegQuantiser = 3;
constexpr uint8_t kGifTrailer = 0x3B;

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
  void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

// Converts the bottom-up BGR picture into a top-down frame of the encoder's format.
std::unique_ptr<AVFrame, FrameDeleter> convertPicture(const BITMAPINFOHEADER& header,
                                                      const uint8_t* pixels, AVPixelFormat format) {
  std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->width = header.biWidth;
  frame->height = header.biHeight;
  frame->format = format;
  if (format == AV_PIX_FMT_YUV420P) frame->color_range = AVCOL_RANGE_JPEG;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;

  std::unique_ptr<SwsContext, ScalerDeleter> scaler(
      sws_getContext(header.biWidth, header.biHeight, AV_PIX_FMT_BGR24, header.biWidth,
                     header.biHeight, format, SWS_POINT, nullptr, nullptr, nullptr));
  if (!scaler) return nullptr;
  if (format == AV_PIX_FMT_YUV420P) {
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  }
  const int rowBytes = header.biWidth * kBytesPerPixel;
  const uint8_t* planes[4] = {pixels + size_t(header.biHeight - 1) * rowBytes};
  const int strides[4] = {-rowBytes};
  sws_scale(scaler.get(), planes, strides, 0, header.biHeight, frame->data, frame->linesize);
  return frame;
}

std::vector<uint8_t> encodeFrame(const EncoderChoice& choice, AVFrame* frame) {
  const AVCodec* codec = avcodec_find_encoder(choice.codec);
  if (codec == nullptr) return {};
  std::unique_ptr<AVCodecContext, CodecContextDeleter> context(avcodec_alloc_context3(codec));
  if (!context) return {};
  context->width = frame->width;
  context->height = frame->height;
  context->pix_fmt = choice.pixelFormat;
  context->time_base = {1, 25};
  if (choice.codec == AV_CODEC_ID_MJPEG) {
    context->color_range = AVCOL_RANGE_JPEG;
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * kJpegQuantiser;
    frame->quality = context->global_quality;
  }
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};

  std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
  if (!packet || avcodec_send_frame(context.get(), frame) < 0 ||
      avcodec_send_frame(context.get(), nullptr) < 0) {
    return {};
  }
  std::vector<uint8_t> encoded;
  while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
    encoded.insert(encoded.end(), packet->data, packet->data + packet->size);
    av_packet_unref(packet.get());
  }
  return encoded;
}

}  // namespace

std::optional<ImageFormat> imageFormatForFileName(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos) return std::nullopt;
  const std::string extension = lowerCase(fileName.substr(dot));
  for (const auto& known : kExtensions) {
    if (extension == known.extension) return known.format;
  }
  return std::nullopt;
}

std::vector<uint8_t> encodeImage(ImageFormat format, const BITMAPINFOHEADER& header,
                                 const uint8_t* pixels) {
  if (format == ImageFormat::kBmp || pixels == nullptr || header.biWidth <= 0 ||
      header.biHeight <= 0 || header.biBitCount != 24) {
    return {};
  }
  const EncoderChoice choice = encoderFor(format);
  auto frame = convertPicture(header, pixels, choice.pixelFormat);
  if (!frame) {
    DebugTrace("snapshot: cannot convert the picture for the encoder\n");
    return {};
  }
  std::vector<uint8_t> encoded = encodeFrame(choice, frame.get());
  // The GIF encoder leaves the trailer to a muxer; a file needs it.
  if (format == ImageFormat::kGif && !encoded.empty() && encoded.back() != kGifTrailer) {
    encoded.push_back(kGifTrailer);
  }
  return encoded;
}

}  // namespace vexa
