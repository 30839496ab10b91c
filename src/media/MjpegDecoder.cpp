#include "media/MjpegDecoder.h"

#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

#include "common/DebugTrace.h"
#include "media/FfmpegDecoding.h"

namespace vexa {

namespace {

// A buffer may start with a picture that yields nothing (tables only); the rest is tried next.
constexpr int kDecodeAttempts = 3;
constexpr int64_t kMaxPixels = int64_t(kDisplayPictureBytes / kBytesPerPixel);
constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kEndOfImage = 0xD9;

// Bytes up to and including the first end-of-image marker, or all of them without one.
int endOfFirstImage(const uint8_t* data, int length) {
  for (int i = 0; i + 1 < length; ++i) {
    if (data[i] == kMarkerPrefix && data[i + 1] == kEndOfImage) return i + 2;
  }
  return length;
}

}  // namespace

// Same-size colour conversion only, so the cheapest filter loses nothing.
MjpegDecoder::MjpegDecoder() : conversion_(SWS_FAST_BILINEAR) {}

MjpegDecoder::~MjpegDecoder() {
  Close();
  av_frame_free(&frame_);
  av_frame_free(&spare_);
  av_packet_free(&packet_);
}

bool MjpegDecoder::Open() {
  if (isOpen()) return true;
  codec_ = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
  if (codec_ == nullptr) return false;
  if (frame_ == nullptr) frame_ = av_frame_alloc();
  if (spare_ == nullptr) spare_ = av_frame_alloc();
  if (packet_ == nullptr) packet_ = av_packet_alloc();
  if (frame_ == nullptr || spare_ == nullptr || packet_ == nullptr) return false;
  return openContext();
}

bool MjpegDecoder::openContext() {
  context_ = ffmpeg::openDecoderContext(codec_, 0, kMaxPixels);
  return context_ != nullptr;
}

bool MjpegDecoder::Close() {
  if (context_ == nullptr) return false;
  avcodec_free_context(&context_);
  return true;
}

bool MjpegDecoder::Reopen() {
  Close();
  if (codec_ == nullptr) return Open();
  return openContext();
}

int MjpegDecoder::Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
  if (!isOpen() || data == nullptr || length <= 0 || image == nullptr || info == nullptr) {
    return -1;
  }
  bool got = false;
  for (int attempt = 0; attempt < kDecodeAttempts && length > 0 && !got; ++attempt) {
    const auto result = ffmpeg::decodePacket(context_, packet_, data, length, frame_, spare_);
    if (result == ffmpeg::DecodeResult::kError) return -1;
    got = result == ffmpeg::DecodeResult::kPicture;
    if (!got) {
      const int used = endOfFirstImage(data, length);
      data += used;
      length -= used;
    }
  }
  if (!got) return -1;

  const int width = frame_->width;
  const int height = frame_->height;
  if (width <= 0 || height <= 0 ||
      size_t(width) * size_t(height) * kBytesPerPixel > kDisplayPictureBytes) {
    DebugTrace("JPEG of %dx%d does not fit the picture buffer", width, height);
    return -1;
  }
  // Convert straight into the caller's picture, last row first: bottom-up without a copy.
  const int rowBytes = width * kBytesPerPixel;
  uint8_t* topRow = image + size_t(height - 1) * size_t(rowBytes);
  if (!conversion_.convert(*frame_, topRow, -rowBytes)) return -1;
  *info = makeBgrPictureHeader(width, height);
  return 0;
}

}  // namespace vexa
