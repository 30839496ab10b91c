#include "display/overlay/OverlayMapping.h"

#include <algorithm>

namespace vexa {

OverlayOrientation overlayOrientation(int rotation) {
  static constexpr OverlayOrientation kByRotation[] = {
      {false, false, false},  // normal
      {false, false, true},   // flip
      {false, true, false},   // mirror
      {false, true, true},    // rotate
      {true, false, true},    // counterclockwise
      {true, true, false},    // clockwise
  };
  return rotation >= 0 && rotation < 6 ? kByRotation[rotation] : kByRotation[0];
}

namespace {

struct Span {
  int64_t first;  // cells, or inclusive pixels
  int64_t last;
};

// Window coordinates beyond this are off any screen.
constexpr int64_t kWindowLimit = int64_t(1) << 30;

// An inclusive pixel span within the limit, at least two pixels wide.
Span windowSpan(int64_t first, int64_t last) {
  first = std::clamp(first, -kWindowLimit, kWindowLimit - 1);
  return {first, std::clamp(last, first + 1, kWindowLimit)};
}

// One window axis: pixels near..far showing count cells.
struct Axis {
  int64_t near;
  int64_t far;
  int64_t count;
  bool reversed;
  int64_t size() const { return far - near + 1; }

  // Inclusive pixels of cells start .. start + length - 1 (visible numbering).
  Span place(int64_t start, int64_t length) const {
    const int64_t lo = scale(start, count, size());
    const int64_t hi = scale(start + length, count, size());
    return reversed ? Span{far - hi + 1, far - lo} : Span{near + lo, near + hi - 1};
  }
  // Cells start and end (exclusive) of inclusive pixels first .. last.
  Span cells(int64_t first, int64_t last) const {
    first = std::clamp(first, near - size(), far + size());
    last = std::clamp(last, near - size(), far + size());
    return reversed
               ? Span{scale(far - last, size(), count), scale(far + 1 - first, size(), count)}
               : Span{scale(first - near, size(), count), scale(last + 1 - near, size(), count)};
  }
};

Axis horizontal(const OverlayGeometry& g, const OverlayArea& a) {
  return {a.left, a.right, g.visibleCols, overlayOrientation(g.rotation).horizontalReversed};
}
Axis vertical(const OverlayGeometry& g, const OverlayArea& a) {
  return {a.top, a.bottom, g.visibleRows, overlayOrientation(g.rotation).verticalReversed};
}

// The odd grid sits half a cell to the left.
int64_t oddShift(const OverlayGeometry& g, const OverlayArea& a) {
  return g.odd ? scale(1, g.visibleCols, a.width()) / 2 : 0;
}

struct Extent {
  int64_t start;
  int64_t length;
};

// [start, start + length) of an axis of `from` units in an axis of `to` units; at least one unit.
Extent rescale(int64_t start, int64_t length, int64_t from, int64_t to) {
  const int64_t first = scale(std::clamp(start, -from, 2 * from), from, to);
  const int64_t end = scale(std::clamp(start + length, -from, 2 * from), from, to);
  return {first, std::max<int64_t>(1, end - first)};
}

}  // namespace

OverlayCellRect cellsFromSpace(const OverlaySpaceRect& s, const OverlayGeometry& g) {
  const Extent x = rescale(s.x, s.width, g.spaceWidth, g.cellsAlongX());
  const Extent y = rescale(s.y, s.height, g.spaceHeight, g.cellsAlongY());
  return {x.start, y.start, x.length, y.length};
}

OverlaySpaceRect spaceFromCells(const OverlayCellRect& c, const OverlayGeometry& g) {
  const Extent x = rescale(c.x, c.width, g.cellsAlongX(), g.spaceWidth);
  const Extent y = rescale(c.y, c.height, g.cellsAlongY(), g.spaceHeight);
  return {x.start, y.start, x.length, y.length};
}

OverlayWindowRect windowFromCells(const OverlayCellRect& c, const OverlayGeometry& g,
                                  const OverlayArea& a) {
  const int64_t cx = c.x - g.offsetX;
  const int64_t cy = c.y - g.offsetY;
  const bool xVertical = overlayOrientation(g.rotation).xVertical;
  const Span h =
      xVertical ? horizontal(g, a).place(cy, c.height) : horizontal(g, a).place(cx, c.width);
  const Span v = xVertical ? vertical(g, a).place(cx, c.width) : vertical(g, a).place(cy, c.height);
  const int64_t shift = oddShift(g, a);
  const Span across = windowSpan(h.first - shift, h.last - shift);
  const Span down = windowSpan(v.first, v.last);
  return {int(across.first), int(down.first), int(across.last), int(down.last)};
}

OverlayCellRect cellsFromWindow(const OverlayWindowRect& w, const OverlayGeometry& g,
                                const OverlayArea& a) {
  const int64_t shift = oddShift(g, a);
  const Span h = horizontal(g, a).cells(int64_t(w.left) + shift, int64_t(w.right) + shift);
  const Span v = vertical(g, a).cells(w.top, w.bottom);
  const bool xVertical = overlayOrientation(g.rotation).xVertical;
  const Span x = xVertical ? v : h;
  const Span y = xVertical ? h : v;
  return {x.first + g.offsetX, y.first + g.offsetY, std::max<int64_t>(1, x.last - x.first),
          std::max<int64_t>(1, y.last - y.first)};
}

}  // namespace vexa
