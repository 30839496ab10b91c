#include "display/Canvas.h"

#include <cairo.h>

#include <algorithm>
#include <bit>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace vexa {
namespace {

// Cairo's 32-bit format is a native-endian 0x00RRGGBB word, which swscale names by byte order.
constexpr AVPixelFormat kCanvasPixelFormat =
    std::endian::native == std::endian::little ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;
// The fastest of swscale's stretches here (the draw path stretches each new picture once), with
// chroma kept at full resolution: about 8% more time for colours that come out as they went in.
constexpr int kStretchFlags = SWS_FAST_BILINEAR | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
// swscale's vector code may store a little past the last pixel of a row.
constexpr size_t kStretchSlackBytes = 64;

uint32_t pixelFromColorRef(uint32_t colorRef) {
  const uint32_t red = colorRef & 0xFF;
  const uint32_t green = (colorRef >> 8) & 0xFF;
  const uint32_t blue = (colorRef >> 16) & 0xFF;
  return (red << 16) | (green << 8) | blue;
}

Rect intersect(const Rect& a, const Rect& b) {
  const int left = std::max(a.x, b.x);
  const int top = std::max(a.y, b.y);
  const int right = std::min(a.right(), b.right());
  const int bottom = std::min(a.bottom(), b.bottom());
  if (right <= left || bottom <= top) return {};
  return {left, top, right - left, bottom - top};
}

}  // namespace

Canvas::Canvas(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_)),
      cairo_(cairo_create(surface_)) {
  stride_ = cairo_image_surface_get_stride(surface_);
  cairo_set_antialias(cairo_, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_cap(cairo_, CAIRO_LINE_CAP_BUTT);
}

Canvas::~Canvas() {
  sws_freeContext(scaler_);
  cairo_destroy(cairo_);
  cairo_surface_destroy(surface_);
}

const uint8_t* Canvas::data() const {
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

uint8_t* Canvas::data() {
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

void Canvas::setColour(uint32_t colorRef) {
  cairo_set_source_rgb(cairo_, (colorRef & 0xFF) / 255.0, ((colorRef >> 8) & 0xFF) / 255.0,
                       ((colorRef >> 16) & 0xFF) / 255.0);
}

void Canvas::fillRect(const Rect& rect, uint32_t colorRef) {
  const Rect area = intersect(rect, {0, 0, width_, height_});
  if (area.empty()) return;
  uint8_t* pixels = data();
  const uint32_t value = pixelFromColorRef(colorRef);
  for (int y = area.y; y < area.bottom(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(pixels + size_t(y) * stride_) + area.x;
    std::fill(row, row + area.width, value);
  }
  cairo_surface_mark_dirty_rectangle(surface_, area.x, area.y, area.width, area.height);
}

void Canvas::drawLine(int x1, int y1, int x2, int y2, int penWidth, uint32_t colorRef) {
  if (penWidth <= 0) return;
  // An odd-width pen covers whole pixels only when centred on a pixel's middle.
  const double shift = (penWidth % 2 != 0) ? 0.5 : 0.0;
  const double dx = (y1 == y2) ? 0.0 : shift;
  const double dy = (x1 == x2) ? 0.0 : shift;
  setColour(colorRef);
  cairo_set_line_width(cairo_, penWidth);
  cairo_move_to(cairo_, x1 + dx, y1 + dy);
  cairo_line_to(cairo_, x2 + dx, y2 + dy);
  cairo_stroke(cairo_);
}

void Canvas::drawText(int x, int y, const std::string& text, uint32_t colorRef, int pixelHeight) {
  if (text.empty()) return;
  cairo_select_font_face(cairo_, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cairo_, pixelHeight);
  cairo_font_extents_t extents;
  cairo_font_extents(cairo_, &extents);
  setColour(colorRef);
  cairo_move_to(cairo_, x, y + extents.ascent);
  cairo_show_text(cairo_, text.c_str());
}

uint32_t Canvas::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* pixels = data();
  uint32_t value;
  std::memcpy(&value, pixels + size_t(y) * stride_ + size_t(x) * 4, sizeof value);
  return value & 0x00FFFFFF;
}

void Canvas::drawPicture(const BITMAPINFOHEADER& header, const uint8_t* bits, uint64_t pictureId,
                         const Rect& source, const Rect& destination) {
  if (bits == nullptr || header.biBitCount != 24 || header.biWidth <= 0 || header.biHeight <= 0)
    return;
  const Rect from = intersect(source, {0, 0, header.biWidth, header.biHeight});
  if (from.empty() || destination.empty()) return;

  const StretchKey key{bits, pictureId,         header.biWidth,    header.biHeight,
                       from, destination.width, destination.height};
  if (!stretchedValid_ || !(key == stretchedKey_)) {
    stretchedValid_ = stretch(header, bits, key);
    stretchedKey_ = key;
    ++stretchCount_;
  }
  if (stretchedValid_) copyStretched(destination);
}

bool Canvas::stretch(const BITMAPINFOHEADER& header, const uint8_t* bits, const StretchKey& key) {
  const size_t needed = size_t(key.width) * key.height * 4 + kStretchSlackBytes;
  if (stretched_.size() < needed) stretched_.resize(needed);

  const int rowBytes = header.biWidth * kBytesPerPixel;
  // The picture is stored bottom row first: start at the top row of the source rectangle and
  // walk the rows backwards.
  const size_t topRow = size_t(header.biHeight - 1 - key.source.y);
  const uint8_t* sourcePlanes[4] = {bits + topRow * rowBytes + size_t(key.source.x) * 3};
  const int sourceStrides[4] = {-rowBytes};
  uint8_t* targetPlanes[4] = {stretched_.data()};
  const int targetStrides[4] = {key.width * 4};

  scaler_ = sws_getCachedContext(scaler_, key.source.width, key.source.height, AV_PIX_FMT_BGR24,
                                 key.width, key.height, kCanvasPixelFormat, kStretchFlags, nullptr,
                                 nullptr, nullptr);
  if (scaler_ == nullptr) {
    stretchNearest(bits, header.biWidth, header.biHeight, key);
    return true;
  }
  sws_scale(scaler_, sourcePlanes, sourceStrides, 0, key.source.height, targetPlanes,
            targetStrides);
  return true;
}

// For the sizes swscale refuses (a one-pixel-wide source, for instance).
void Canvas::stretchNearest(const uint8_t* bits, int pictureWidth, int pictureHeight,
                            const StretchKey& key) {
  const size_t rowBytes = size_t(pictureWidth) * kBytesPerPixel;
  for (int y = 0; y < key.height; ++y) {
    const int sourceY = key.source.y + int(int64_t(y) * key.source.height / key.height);
    const uint8_t* row = bits + size_t(pictureHeight - 1 - sourceY) * rowBytes;
    auto* target = reinterpret_cast<uint32_t*>(stretched_.data() + size_t(y) * key.width * 4);
    for (int x = 0; x < key.width; ++x) {
      const int sourceX = key.source.x + int(int64_t(x) * key.source.width / key.width);
      const uint8_t* bgr = row + size_t(sourceX) * 3;
      target[x] = (uint32_t(bgr[2]) << 16) | (uint32_t(bgr[1]) << 8) | bgr[0];
    }
  }
}

void Canvas::copyStretched(const Rect& destination) {
  const Rect visible = intersect(destination, {0, 0, width_, height_});
  if (visible.empty()) return;
  uint8_t* pixels = data();
  const size_t sourceStride = size_t(destination.width) * 4;
  const size_t skipX = size_t(visible.x - destination.x) * 4;
  for (int y = visible.y; y < visible.bottom(); ++y) {
    const uint8_t* from = stretched_.data() + size_t(y - destination.y) * sourceStride + skipX;
    std::memcpy(pixels + size_t(y) * stride_ + size_t(visible.x) * 4, from,
                size_t(visible.width) * 4);
  }
  cairo_surface_mark_dirty_rectangle(surface_, visible.x, visible.y, visible.width, visible.height);
}

}  // namespace vexa
