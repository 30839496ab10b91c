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
    : decoder_(AV_CODEC_ID_MJPEG, 0, kMaxPixels),
      turbo_(kMaxPixels),
      pictures_(kDisplayPictureBytes, SWS_FAST_BILINEAR) {}

MjpegDecoder::~MjpegDecoder() = default;

bool MjpegDecoder::Open() { return decoder_.open(); }

bool MjpegDecoder::Close() { return decoder_.close(); }

// The display reopens when it switches to JPEG; a decoder never opened gets the whole open.
bool MjpegDecoder::Reopen() { return decoder_.reopen() || decoder_.open(); }

PictureLease MjpegDecoder::decode(std::span<const uint8_t> jpeg) {
  if (!isOpen() || jpeg.empty() || !decodeInto(jpeg, pictures_.writableFrame())) return {};
  if (!pictures_.publishFrame()) {
    const AVFrame& frame = *pictures_.writableFrame();
    DebugTrace("JPEG of %dx%d does not fit the picture buffer", frame.width, frame.height);
    return {};
  }
  return pictures_.leaseNewest();
}

// TurboJPEG decodes straight into the picture's own buffers; FFmpeg's decoder takes what it
// refuses (CMYK, tables sent apart, several pictures in one buffer) and lends its own.
bool MjpegDecoder::decodeInto(std::span<const uint8_t> jpeg, AVFrame* frame) {
  if (turbo_.decode(jpeg, frame)) return true;
  const uint8_t* data = jpeg.data();
  int length = int(jpeg.size());
  for (int attempt = 0; attempt < kDecodeAttempts && length > 0; ++attempt) {
    const auto result = decoder_.decode(data, length);
    if (result == ffmpeg::DecodeResult::kError) return false;
    if (result == ffmpeg::DecodeResult::kPicture) {
      av_frame_unref(frame);
      return av_frame_ref(frame, &decoder_.frame()) >= 0;
    }
    const int used = endOfFirstImage(data, length);
    data += used;
    length -= used;
  }
  return false;
}

int MjpegDecoder::Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
  if (data == nullptr || length <= 0 || image == nullptr || info == nullptr) return -1;
  const PictureLease picture = decode({data, size_t(length)});
  const uint8_t* bits = picture.bits();
  if (bits == nullptr) return -1;
  std::memcpy(image, bits, picture.bytes());
  *info = makeBgrPictureHeader(picture.width(), picture.height());
  return 0;
}

}  // namespace vexa
