#include "media/BgrConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "common/DebugTrace.h"

namespace vexa {

namespace {

constexpr int kLimitedRange = 0;
constexpr int kFullRange = 1;

// The "J" formats are the plain ones with full-range samples; naming the range explicitly keeps
// the scaler off its deprecated-format path.
struct FullRangeAlias {
  AVPixelFormat alias, plain;
};
constexpr FullRangeAlias kFullRangeAliases[] = {
    {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P}, {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
    {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P}, {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P},
    {AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P},
};

AVPixelFormat plainFormat(AVPixelFormat format, bool* fullRange) {
  for (const FullRangeAlias& entry : kFullRangeAliases) {
    if (entry.alias == format) {
      *fullRange = true;
      return entry.plain;
    }
  }
  return format;
}

}  // namespace

BgrConverter::~BgrConverter() {
  sws_freeContext(context_);
}

BgrConverter::Key BgrConverter::keyOf(const AVFrame& frame) {
  Key key;
  key.width = frame.width;
  key.height = frame.height;
  key.fullRange = frame.color_range == AVCOL_RANGE_JPEG;
  key.format = plainFormat(AVPixelFormat(frame.format), &key.fullRange);
  key.colorspace = frame.colorspace;
  return key;
}

bool BgrConverter::configure(const Key& key) {
  context_ =
      sws_getCachedContext(context_, key.width, key.height, AVPixelFormat(key.format), key.width,
                           key.height, AV_PIX_FMT_BGR24, flags_, nullptr, nullptr, nullptr);
  if (context_ == nullptr) {
    DebugTrace("no conversion from pixel format %d at %dx%d", key.format, key.width, key.height);
    key_ = Key{};
    return false;
  }
  // Take the source range from the picture: JPEG and full-range H.264 samples already span
  // 0-255, and stretching them as if they were 16-235 would crush shadows and highlights.
  int* inverseTable = nullptr;
  int* table = nullptr;
  int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
  if (sws_getColorspaceDetails(context_, &inverseTable, &sourceRange, &table, &destinationRange,
                               &brightness, &contrast, &saturation) >= 0) {
    sws_setColorspaceDetails(context_, sws_getCoefficients(key.colorspace),
                             key.fullRange ? kFullRange : kLimitedRange, table, kFullRange,
                             brightness, contrast, saturation);
  }
  key_ = key;
  return true;
}

bool BgrConverter::convert(const AVFrame& frame, uint8_t* topRow, int rowStride) {
  return convert(frame, frame.data, frame.linesize, topRow, rowStride);
}

bool BgrConverter::convert(const AVFrame& frame, const uint8_t* const planes[4],
                           const int linesizes[4], uint8_t* topRow, int rowStride) {
  const Key key = keyOf(frame);
  if (key.width <= 0 || key.height <= 0 || topRow == nullptr) return false;
  if ((context_ == nullptr || !(key == key_)) && !configure(key)) return false;
  uint8_t* const destination[4] = {topRow, nullptr, nullptr, nullptr};
  const int destinationStrides[4] = {rowStride, 0, 0, 0};
  return sws_scale(context_, planes, linesizes, 0, key.height, destination, destinationStrides) ==
         key.height;
}

}  // namespace vexa
