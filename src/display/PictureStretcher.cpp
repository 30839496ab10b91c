#include "display/PictureStretcher.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "display/WideLoad.h"
#include "media/FfmpegDecoding.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vexa {

namespace {
uint32_t pixelAt(const uint8_t* bgr) {
  return (uint32_t(bgr[2]) << 16) | (uint32_t(bgr[1]) << 8) | bgr[0];
}

// Canvas pixels are 0x00RRGGBB words, bytes blue, green, red and one unused (kept: its factor is
// the whole and it adds nothing). (keep * v + add) stays at or below 25,500, where / 100 is exactly
// the high half of the product with 41,944, shifted right by 6.
constexpr uint16_t kHundredthMultiplier = 41944;
constexpr int kHundredthShift = 6;
static_assert(PictureTint::kWhole == 100);

struct Blend {
  std::array<uint16_t, 4> keep;
  std::array<uint16_t, 4> add;
};

Blend blendOf(const PictureTint& tint) {
  const auto keep = uint16_t(tint.keep);
  return {{keep, keep, keep, PictureTint::kWhole},
          {uint16_t(tint.add[0]), uint16_t(tint.add[1]), uint16_t(tint.add[2]), 0}};
}

// Chroma of a picture without any: the neutral value, in either range.
constexpr uint8_t kNeutralChroma = 128;

// Planar 8-bit luma and chroma (or luma alone), each component a plane of its own.
bool hasPickablePlanes(const AVPixFmtDescriptor* descriptor) {
  if (descriptor == nullptr ||
      (descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                            AV_PIX_FMT_FLAG_HWACCEL)) != 0) {
    return false;
  }
  const int colourComponents = descriptor->nb_components >= 3 ? 3 : 1;
  if (descriptor->nb_components < 1) return false;
  for (int c = 0; c < colourComponents; ++c) {
    const AVComponentDescriptor& component = descriptor->comp[c];
    if (component.depth != 8 || component.step != 1 || component.plane != c) return false;
  }
  return true;
}


uint8_t blendByte(uint8_t value, uint16_t keep, uint16_t add) {
  return uint8_t((uint32_t(keep) * value + add) / PictureTint::kWhole);
}

void blendPixels(uint32_t* pixels, size_t count, const Blend& blend) {
  auto* bytes = reinterpret_cast<uint8_t*>(pixels);
  size_t done = 0;
#if defined(__SSE2__)
  constexpr size_t kPixelsAtOnce = 4;
  const __m128i keep = _mm_setr_epi16(
      short(blend.keep[0]), short(blend.keep[1]), short(blend.keep[2]), short(blend.keep[3]),
      short(blend.keep[0]), short(blend.keep[1]), short(blend.keep[2]), short(blend.keep[3]));
  const __m128i add = _mm_setr_epi16(
      short(blend.add[0]), short(blend.add[1]), short(blend.add[2]), short(blend.add[3]),
      short(blend.add[0]), short(blend.add[1]), short(blend.add[2]), short(blend.add[3]));
  const __m128i hundredth = _mm_set1_epi16(short(kHundredthMultiplier));
  const __m128i zero = _mm_setzero_si128();
  const auto blendHalf = [&](__m128i words) {
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(words, keep), add);
    return _mm_srli_epi16(_mm_mulhi_epu16(sum, hundredth), kHundredthShift);
  };
  for (; done + kPixelsAtOnce <= count; done += kPixelsAtOnce) {
    auto* at = reinterpret_cast<__m128i*>(bytes + done * sizeof(uint32_t));
    const __m128i four = _mm_loadu_si128(at);
    _mm_storeu_si128(at, _mm_packus_epi16(blendHalf(_mm_unpacklo_epi8(four, zero)),
                                          blendHalf(_mm_unpackhi_epi8(four, zero))));
  }
#endif
  for (size_t i = done * sizeof(uint32_t); i < count * sizeof(uint32_t); ++i) {
    bytes[i] = blendByte(bytes[i], blend.keep[i % 4], blend.add[i % 4]);
  }
}
}  // namespace

PictureStretcher::PictureStretcher()
    : picked_(av_frame_alloc()), pickedConverter_(SWS_POINT, BgrLayout::kPadded32) {}

PictureStretcher::~PictureStretcher() { av_frame_free(&picked_); }

void PictureStretcher::buildTables(const Geometry& g) {
  const size_t rowBytes = size_t(g.pictureWidth) * kBytesPerPixel;
  columnOffsets_.resize(size_t(g.visible.width));
  sourceColumns_.resize(size_t(g.visible.width));
  wideLoadColumns_ = 0;
  for (int x = 0; x < g.visible.width; ++x) {
    const int64_t destX = g.visible.x - g.destination.x + x;
    const int64_t sourceX = g.source.x + destX * g.source.width / g.destination.width;
    sourceColumns_[size_t(x)] = int(sourceX);
    columnOffsets_[size_t(x)] = uint32_t(sourceX * kBytesPerPixel);
    if (wideLoadFits(size_t(sourceX) * kBytesPerPixel, rowBytes)) wideLoadColumns_ = size_t(x) + 1;
  }
  rowOffsets_.resize(size_t(g.visible.height));
  sourceRows_.resize(size_t(g.visible.height));
  for (int y = 0; y < g.visible.height; ++y) {
    const int64_t destY = g.visible.y - g.destination.y + y;
    const int64_t sourceY = g.source.y + destY * g.source.height / g.destination.height;
    // Bottom row first in memory.
    rowOffsets_[size_t(y)] = size_t(g.pictureHeight - 1 - sourceY) * rowBytes;
    sourceRows_[size_t(y)] = int(sourceY);
  }
  lumaPick_.assign(sourceColumns_, g.pictureWidth);
  chromaPickShift_ = kNoChromaPick;
  geometry_ = g;
  haveTables_ = true;
}

void PictureStretcher::stretch(const BITMAPINFOHEADER& header, const uint8_t* bits,
                               const Rect& source, const Rect& destination, const Rect& visible,
                               uint8_t* target, size_t stride, const PictureTint* tint) {
  const Geometry geometry{header.biWidth, header.biHeight, source, destination, visible};
  if (!haveTables_ || !(geometry == geometry_)) buildTables(geometry);
  tintSpans_.clear();  // none, unless a tint finds some
  Blend blend{};
  if (tint != nullptr && !tint->areas.empty()) {
    findTintSpans(*tint);
    blend = blendOf(*tint);
  }
  size_t span = 0;

  const uint32_t* columns = columnOffsets_.data();
  const size_t width = columnOffsets_.size();
  for (size_t y = 0; y < rowOffsets_.size(); ++y) {
    auto* out = reinterpret_cast<uint32_t*>(target + (size_t(visible.y) + y) * stride) + visible.x;
    if (y > 0 && rowOffsets_[y] == rowOffsets_[y - 1]) {
      // Enlarging: the same picture row again, tinted already.
      std::memcpy(out, reinterpret_cast<const uint8_t*>(out) - stride, width * sizeof(uint32_t));
      while (span < tintSpans_.size() && tintSpans_[span].row == y) ++span;
      continue;
    }
    const uint8_t* row = bits + rowOffsets_[y];
    size_t x = 0;
    for (; x < wideLoadColumns_; ++x) {
      out[x] = loadWide(row + columns[x]) &
               0x00FFFFFFu;  // bytes B, G, R land as 0x00RRGGBB on little-endian hosts
    }
    for (; x < width; ++x) out[x] = pixelAt(row + columns[x]);
    for (; span < tintSpans_.size() && tintSpans_[span].row == y; ++span) {
      blendPixels(out + tintSpans_[span].first, tintSpans_[span].end - tintSpans_[span].first,
                  blend);
    }
  }
}

bool PictureStretcher::stretchPlanes(const AVFrame& picture, const Rect& source,
                                     const Rect& destination, const Rect& visible, uint8_t* target,
                                     size_t stride, const PictureTint* tint) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(AVPixelFormat(picture.format));
  if (!hasPickablePlanes(descriptor)) return false;
  const Geometry geometry{picture.width, picture.height, source, destination, visible};
  if (!haveTables_ || !(geometry == geometry_)) buildTables(geometry);
  if (!ffmpeg::prepareFrame(picked_, visible.width, visible.height, AV_PIX_FMT_YUV420P)) {
    return false;
  }
  // The scaler reads grey pictures as full range whatever they say; so do the picked samples.
  const bool grey = descriptor->nb_components < 3;
  picked_->color_range =
      grey || BgrConverter::isFullRange(picture) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  picked_->colorspace = picture.colorspace;
  pickSamples(picture, grey ? -1 : descriptor->log2_chroma_w, descriptor->log2_chroma_h);
  uint8_t* topLeft = target + size_t(visible.y) * stride + size_t(visible.x) * sizeof(uint32_t);
  if (!pickedConverter_.convert(*picked_, topLeft, int(stride))) return false;
  if (tint != nullptr && !tint->areas.empty()) blendTintSpans(*tint, target, stride, visible);
  return true;
}

// chromaShiftX < 0: a grey picture, whose shown chroma is neutral.
void PictureStretcher::pickSamples(const AVFrame& picture, int chromaShiftX, int chromaShiftY) {
  const size_t width = sourceColumns_.size();
  const size_t height = sourceRows_.size();
  for (size_t y = 0; y < height; ++y) {
    uint8_t* out = picked_->data[0] + y * size_t(picked_->linesize[0]);
    if (y > 0 && sourceRows_[y] == sourceRows_[y - 1]) {
      std::memcpy(out, out - picked_->linesize[0], width);  // enlarging: the same row again
      continue;
    }
    lumaPick_.pick(picture.data[0] + size_t(sourceRows_[y]) * size_t(picture.linesize[0]), out);
  }
  // Each shown chroma sample is the one under the first of the two by two pixels it covers.
  const size_t chromaWidth = (width + 1) / 2;
  const size_t chromaHeight = (height + 1) / 2;
  if (chromaShiftX < 0) {
    for (int plane = 1; plane <= 2; ++plane) {
      for (size_t y = 0; y < chromaHeight; ++y) {
        std::memset(picked_->data[plane] + y * size_t(picked_->linesize[plane]), kNeutralChroma,
                    chromaWidth);
      }
    }
    return;
  }
  if (chromaPickShift_ != chromaShiftX) {
    std::vector<int> columns(chromaWidth);
    for (size_t x = 0; x < chromaWidth; ++x) columns[x] = sourceColumns_[2 * x] >> chromaShiftX;
    chromaPick_.assign(columns, AV_CEIL_RSHIFT(picture.width, chromaShiftX));
    chromaPickShift_ = chromaShiftX;
  }
  for (int plane = 1; plane <= 2; ++plane) {
    for (size_t y = 0; y < chromaHeight; ++y) {
      const size_t sourceRow = size_t(sourceRows_[2 * y] >> chromaShiftY);
      chromaPick_.pick(picture.data[plane] + sourceRow * size_t(picture.linesize[plane]),
                       picked_->data[plane] + y * size_t(picked_->linesize[plane]));
    }
  }
}

void PictureStretcher::blendTintSpans(const PictureTint& tint, uint8_t* target, size_t stride,
                                      const Rect& visible) {
  findTintSpans(tint);
  const Blend blend = blendOf(tint);
  for (const Span& span : tintSpans_) {
    auto* row = reinterpret_cast<uint32_t*>(target + (size_t(visible.y) + span.row) * stride) +
                visible.x;
    blendPixels(row + span.first, span.end - span.first, blend);
  }
}

void PictureStretcher::findTintSpans(const PictureTint& tint) {
  tintSpans_.clear();
  // Both tables grow with the destination, so an area's pixels are one run of each: the shown
  // columns (rows) from the first taking the area's first picture column (row) on.
  const auto firstShownAt = [](const std::vector<int>& taken, int64_t pictureAt) {
    return size_t(std::lower_bound(taken.begin(), taken.end(), pictureAt,
                                   [](int at, int64_t value) { return at < value; }) -
                  taken.begin());
  };
  for (const Rect& area : tint.areas) {
    const size_t first = firstShownAt(sourceColumns_, area.x);
    const size_t end = firstShownAt(sourceColumns_, int64_t(area.x) + area.width);
    if (first >= end) continue;
    const size_t endRow = firstShownAt(sourceRows_, int64_t(area.y) + area.height);
    for (size_t row = firstShownAt(sourceRows_, area.y); row < endRow; ++row) {
      tintSpans_.push_back({row, first, end});
    }
  }
  std::sort(tintSpans_.begin(), tintSpans_.end(),
            [](const Span& a, const Span& b) { return a.row < b.row; });
}

}  // namespace vexa
