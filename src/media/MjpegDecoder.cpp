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
MjpegDecoder::MjpegDecoder()
    : decoder_(AV_CODEC_ID_MJPEG, 0, kMaxPixels), conversion_(SWS_FAST_BILINEAR) {}

MjpegDecoder::~MjpegDecoder() = default;

bool MjpegDecoder::Open() { return decoder_.open(); }

bool MjpegDecoder::Close() { return decoder_.close(); }

// The display reopens when it switches to JPEG; a decoder never opened gets the whole open.
bool MjpegDecoder::Reopen() { return decoder_.reopen() || decoder_.open(); }

int MjpegDecoder::Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
  if (!isOpen() || data == nullptr || length <= 0 || image == nullptr || info == nullptr) {
    return -1;
  }
  bool got = false;
  for (int attempt = 0; attempt < kDecodeAttempts && length > 0 && !got; ++attempt) {
    const auto result = decoder_.decode(data, length);
    if (result == ffmpeg::DecodeResult::kError) return -1;
    got = result == ffmpeg::DecodeResult::kPicture;
    if (!got) {
      const int used = endOfFirstImage(data, length);
      data += used;
      length -= used;
    }
  }
  if (!got) return -1;

  const AVFrame& frame = decoder_.frame();
  const int width = frame.width;
  const int height = frame.height;
  if (width <= 0 || height <= 0 ||
      size_t(width) * size_t(height) * kBytesPerPixel > kDisplayPictureBytes) {
    DebugTrace("JPEG of %dx%d does not fit the picture buffer", width, height);
    return -1;
  }
  // Convert straight into the caller's picture, last row first: bottom-up without a copy.
  const int rowBytes = width * kBytesPerPixel;
  uint8_t* topRow = image + size_t(height - 1) * size_t(rowBytes);
  if (!conversion_.convert(frame, topRow, -rowBytes)) return -1;
  *info = makeBgrPictureHeader(width, height);
  return 0;
}

}  // namespace vexa
