#include "media/BgrConverter.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "common/DebugTrace.h"

namespace vexa {

namespace {

constexpr int kLimitedRange = 0;
// The scaler's vector conversion to BGR goes in runs of 16 pixels here; a multiple of any run a
// wider vector unit could use keeps the in-place part exact there too.
constexpr int kVectorPixels = 64;
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
  sws_freeContext(whole_.context);
  sws_freeContext(tail_.context);
}

bool BgrConverter::isFullRange(const AVFrame& frame) {
  return keyOf(frame).fullRange;
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

bool BgrConverter::configure(Part& part, const Key& key) {
  part.context = sws_getCachedContext(
      part.context, key.width, key.height, AVPixelFormat(key.format), key.width, key.height,
      layout_ == BgrLayout::kPadded32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24, flags_, nullptr,
      nullptr, nullptr);
  if (part.context == nullptr) {
    DebugTrace("no conversion from pixel format %d at %dx%d", key.format, key.width, key.height);
    part.key = Key{};
    return false;
  }
  // Take the source range from the picture: JPEG and full-range H.264 samples already span
  // 0-255, and stretching them as if they were 16-235 would crush shadows and highlights.
  int* inverseTable = nullptr;
  int* table = nullptr;
  int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
  if (sws_getColorspaceDetails(part.context, &inverseTable, &sourceRange, &table,
                               &destinationRange, &brightness, &contrast, &saturation) >= 0) {
    sws_setColorspaceDetails(part.context, sws_getCoefficients(key.colorspace),
                             key.fullRange ? kFullRange : kLimitedRange, table, kFullRange,
                             brightness, contrast, saturation);
  }
  part.key = key;
  return true;
}

bool BgrConverter::convertPart(Part& part, const Key& key, const uint8_t* const planes[4],
                               const int linesizes[4], uint8_t* topRow, int rowStride) {
  if ((part.context == nullptr || !(key == part.key)) && !configure(part, key)) return false;
  uint8_t* const destination[4] = {topRow, nullptr, nullptr, nullptr};
  const int destinationStrides[4] = {rowStride, 0, 0, 0};
  return sws_scale(part.context, planes, linesizes, 0, key.height, destination,
                   destinationStrides) == key.height;
}

bool BgrConverter::convertTail(const Key& key, int firstColumn, const uint8_t* const planes[4],
                               const int linesizes[4], uint8_t* topRow, int rowStride) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(AVPixelFormat(key.format));
  if (descriptor == nullptr || !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR ||
                                 descriptor->nb_components == 1)) {
    return false;
  }
  const uint8_t* tailPlanes[4] = {};
  for (int p = 0; p < 4 && planes[p] != nullptr; ++p) {
    const bool chroma = p == 1 || p == 2;
    tailPlanes[p] = planes[p] + (chroma ? firstColumn >> descriptor->log2_chroma_w : firstColumn);
  }
  Key tailKey = key;
  tailKey.width = key.width - firstColumn;
  const int tailRowBytes = kVectorPixels * bytesPerPixel();
  tailRows_.resize(size_t(tailRowBytes) * size_t(key.height));
  if (!convertPart(tail_, tailKey, tailPlanes, linesizes, tailRows_.data(), tailRowBytes)) {
    return false;
  }
  const size_t copied = size_t(tailKey.width) * size_t(bytesPerPixel());
  for (int y = 0; y < key.height; ++y) {
    std::memcpy(topRow + ptrdiff_t(y) * rowStride + ptrdiff_t(firstColumn) * bytesPerPixel(),
                tailRows_.data() + size_t(y) * size_t(tailRowBytes), copied);
  }
  return true;
}

bool BgrConverter::convert(const AVFrame& frame, uint8_t* topRow, int rowStride) {
  return convert(frame, frame.data, frame.linesize, topRow, rowStride);
}

bool BgrConverter::convert(const AVFrame& frame, const uint8_t* const planes[4],
                           const int linesizes[4], uint8_t* topRow, int rowStride) {
  const Key key = keyOf(frame);
  if (key.width <= 0 || key.height <= 0 || topRow == nullptr) return false;
  const int wholeWidth = key.width & ~(kVectorPixels - 1);
  if (wholeWidth > 0) {
    Key wholeKey = key;
    wholeKey.width = wholeWidth;
    if (!convertPart(whole_, wholeKey, planes, linesizes, topRow, rowStride)) return false;
  }
  return wholeWidth == key.width ||
         convertTail(key, wholeWidth, planes, linesizes, topRow, rowStride);
}

}  // namespace vexa
