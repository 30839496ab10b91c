#include "media/H264Decoder.h"

#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

#include "common/DebugTrace.h"
#include "media/Deinterlace.h"
#include "media/FfmpegDecoding.h"
#include "media/H264SequenceParameters.h"

namespace vexa {

namespace {

// Speed over strict conformance, as a live viewer wants. Access units arrive whole, so the
// decoder needs no chunk mode.
constexpr int kDecoderFlags2 = AV_CODEC_FLAG2_FAST;

}  // namespace

H264Decoder::H264Decoder(size_t pictureBytes)
    : pictureBytes_(pictureBytes),
      decoder_(AV_CODEC_ID_H264, kDecoderFlags2, int64_t(pictureBytes / kBytesPerPixel)),
      pictures_(pictureBytes, SWS_BILINEAR) {}

H264Decoder::~H264Decoder() = default;

bool H264Decoder::Open() { return decoder_.open(); }

// A failed open leaves no context; the next start tries again rather than never.
bool H264Decoder::reinitFfmpeg() {
  sequenceSize_.reset();
  return decoder_.reopen();
}

// FFmpeg sizes its tables by a sequence parameter set before any picture is checked against its
// largest size, so a hostile camera's SPS could take hundreds of MiB: one announcing a picture
// larger than the picture buffers, or one that cannot be read, is refused before FFmpeg sees it.
// A stream that changes its size gets a fresh context, so that what the old size took is let go.
bool H264Decoder::acceptSequenceParameters(std::span<const uint8_t> unit) {
  for (const std::optional<SpsPictureSize>& size : sequenceParameterSizes(unit)) {
    if (!size || size->pixels() > pictureBytes_ / kBytesPerPixel) {
      DebugTrace("H.264: sequence parameters of %ux%u refused", size ? size->width : 0,
                 size ? size->height : 0);
      return false;
    }
    if (sequenceSize_ && *sequenceSize_ != *size && !decoder_.reopen()) return false;
    sequenceSize_ = *size;
  }
  return true;
}

int H264Decoder::Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
  if (!isOpen() || data == nullptr || length <= 0) return -1;
  if (!acceptSequenceParameters({data, size_t(length)})) return -1;
  const auto result = decoder_.decode(data, length);
  if (result != ffmpeg::DecodeResult::kPicture) return -1;

  const int width = decoder_.frame().width;
  const int height = decoder_.frame().height;
  if (width <= 0 || height <= 0 ||
      size_t(width) * size_t(height) * kBytesPerPixel > pictureBytes_) {
    DebugTrace("H.264 picture of %dx%d does not fit the picture buffers", width, height);
    return -1;
  }
  width_ = width;
  height_ = height;
  if (!keepPicture()) return -1;
  if (info != nullptr) *info = makeBgrPictureHeader(width, height);
  return length;
}

// A reference to the decoder's own buffers, not a copy: the decoder never writes into a picture
// it has put out. Blended fields are the one copy, made only while deinterlacing is on.
bool H264Decoder::keepPicture() {
  AVFrame* kept = pictures_.writableFrame();
  if (kept == nullptr) return false;
  if (deinterlaceEnabled()) return blendFields(decoder_.frame(), kept);
  av_frame_unref(kept);
  return av_frame_ref(kept, &decoder_.frame()) >= 0;
}

int H264Decoder::CopyFromAVFrame(uint8_t* buffer, size_t capacity, BITMAPINFOHEADER* info) const {
  // The completed picture carries its own size: after a size change it may still be of the old
  // one while the decoder already converts the new one.
  const PictureLease picture = LendPicture();
  if (buffer == nullptr || !picture || capacity < picture.bytes()) return -1;
  std::memcpy(buffer, picture.bits(), picture.bytes());
  if (info != nullptr) *info = makeBgrPictureHeader(picture.width(), picture.height());
  return int(picture.bytes());
}

}  // namespace vexa
