#include "display/Canvas.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

#include "display/PictureStretcher.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vexa {
namespace {

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
      cairo_(cairo_create(surface_)),
      stretcher_(std::make_unique<PictureStretcher>()) {
  stride_ = cairo_image_surface_get_stride(surface_);
  cairo_set_antialias(cairo_, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_cap(cairo_, CAIRO_LINE_CAP_BUTT);
}

Canvas::~Canvas() {
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
  touched(area);
}

void Canvas::touched(const Rect& area) {
  if (pictureIntact_ && !intersect(area, shownPicture_.destination).empty()) pictureIntact_ = false;
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
  const int reach = penWidth / 2 + 1;
  touched({std::min(x1, x2) - reach, std::min(y1, y2) - reach, std::abs(x2 - x1) + 2 * reach,
           std::abs(y2 - y1) + 2 * reach});
}

Rect Canvas::boundsOf(const std::vector<Point>& points, int reach) {
  int left = points.front().x, right = left, top = points.front().y, bottom = top;
  for (const Point& p : points) {
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  return {left - reach, top - reach, right - left + 2 * reach, bottom - top + 2 * reach};
}

void Canvas::strokePath(const std::vector<Point>& points, bool closed, int penWidth,
                        uint32_t colorRef) {
  if (points.empty() || penWidth <= 0) return;
  // Centred on pixel middles so that a 1 px pen covers whole pixels in every direction.
  const double shift = (penWidth % 2 != 0) ? 0.5 : 0.0;
  setColour(colorRef);
  cairo_set_line_width(cairo_, penWidth);
  cairo_set_line_join(cairo_, CAIRO_LINE_JOIN_MITER);
  cairo_move_to(cairo_, points.front().x + shift, points.front().y + shift);
  for (size_t i = 1; i < points.size(); ++i) {
    cairo_line_to(cairo_, points[i].x + shift, points[i].y + shift);
  }
  if (closed) cairo_close_path(cairo_);
  cairo_stroke(cairo_);
  touched(boundsOf(points, penWidth + 1));
}

void Canvas::drawPolyline(const std::vector<Point>& points, int penWidth, uint32_t colorRef) {
  strokePath(points, false, penWidth, colorRef);
}

void Canvas::drawPolygon(const std::vector<Point>& points, uint32_t colorRef) {
  strokePath(points, true, 1, colorRef);
}

void Canvas::fillCircle(int cx, int cy, int radius, uint32_t colorRef) {
  if (radius <= 0) return;
  setColour(colorRef);
  cairo_new_path(cairo_);
  cairo_arc(cairo_, cx + 0.5, cy + 0.5, radius, 0.0, 2.0 * 3.14159265358979323846);
  cairo_fill(cairo_);
  touched({cx - radius - 1, cy - radius - 1, 2 * radius + 3, 2 * radius + 3});
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
  pictureIntact_ = false;  // text extents are not worth computing for this
}

uint32_t Canvas::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* pixels = data();
  uint32_t value;
  std::memcpy(&value, pixels + size_t(y) * stride_ + size_t(x) * 4, sizeof value);
  return value & 0x00FFFFFF;
}

bool Canvas::clip(int pictureWidth, int pictureHeight, const Rect& source,
                  const Rect& destination, Rect* from, Rect* visible) const {
  if (pictureWidth <= 0 || pictureHeight <= 0) return false;
  *from = intersect(source, {0, 0, pictureWidth, pictureHeight});
  *visible = intersect(destination, {0, 0, width_, height_});
  return !from->empty() && !destination.empty() && !visible->empty();
}

void Canvas::pictureDrawn(const PictureKey& key, const Rect& visible) {
  cairo_surface_mark_dirty_rectangle(surface_, visible.x, visible.y, visible.width, visible.height);
  shownPicture_ = key;
  pictureIntact_ = true;
  ++stretchCount_;
}

void Canvas::drawPicture(const BITMAPINFOHEADER& header, const uint8_t* bits, uint64_t pictureId,
                         const Rect& source, const Rect& destination, const PictureTint* tint) {
  Rect from, visible;
  if (bits == nullptr || header.biBitCount != 24 ||
      !clip(header.biWidth, header.biHeight, source, destination, &from, &visible)) {
    return;
  }
  const PictureKey key{bits, pictureId,  header.biWidth,
                       header.biHeight, from, destination,
                       tint != nullptr ? tint->version : 0};
  if (pictureIntact_ && key == shownPicture_) return;
  stretcher_->stretch(header, bits, from, destination, visible, data(), size_t(stride_), tint);
  pictureDrawn(key, visible);
}

void Canvas::drawPicture(const ShownPicture& picture, uint64_t pictureId, const Rect& source,
                         const Rect& destination, const PictureTint* tint) {
  const AVFrame* planes = picture.planes();
  Rect from, visible;
  if (planes != nullptr && clip(picture.header.biWidth, picture.header.biHeight, source,
                                destination, &from, &visible)) {
    const PictureKey key{planes->data[0], pictureId, picture.header.biWidth,
                         picture.header.biHeight, from, destination,
                         tint != nullptr ? tint->version : 0};
    if (pictureIntact_ && key == shownPicture_) return;
    if (stretcher_->stretchPlanes(*planes, from, destination, visible, data(), size_t(stride_),
                                  tint)) {
      pictureDrawn(key, visible);
      return;
    }
  }
  drawPicture(picture.header, picture.bgr(), pictureId, source, destination, tint);
}

}  // namespace vexa
