#pragma once

#include <cstdint>

#include "display/Canvas.h"

namespace vexa {

// Overlay kinds, set by the last add operation.
enum OverlayKind : int { kOverlayMask = 0, kOverlayMotion = 1, kOverlayRoi = 2 };

// Larger picture sides are treated as this one: the grid then stays small enough for 64-bit
// products with any 32-bit window coordinate.
constexpr int kOverlayMaxPictureSide = 65535;

// a * to / from, rounding up when scaling up (from <= to) and truncating when scaling down. A zero
// divisor gives 0. Operands stay far below 2^63 in every use here.
int64_t scale(int64_t a, int64_t from, int64_t to);

// The cell grid one window shares among its overlays, for one grid type, kind, picture size and
// rotation. Under quarter turns (rotation 4, 5) the counts of the types that swap are given as the
// window sees them: columns across, rows down.
struct OverlayGeometry {
  // What it was computed from.
  int gridType = 0;
  int kind = kOverlayMask;
  int rotation = 0;
  int pictureWidth = 0;
  int pictureHeight = 0;

  int64_t spaceWidth = 0;
  int64_t spaceHeight = 0;
  int64_t gridCols = 0;
  int64_t gridRows = 0;
  int64_t visibleCols = 0;
  int64_t visibleRows = 0;
  int64_t offsetX = 0;  // first visible cell
  int64_t offsetY = 0;
  bool odd = false;  // the visible grid sits half a cell off the whole grid
  bool setsOrigin = false;
  int originX = 0;
  int originY = 0;
  // 16 or 32 when the window shows picture pixels beyond the last whole cell of that size at the
  // right and bottom; overlays stay out of them. 0: no margins.
  int marginCell = 0;

  bool quarterTurn() const { return rotation == 4 || rotation == 5; }
  // Cells along the space's x and y axes: quarter turns lay the x axis along the window's rows.
  int64_t cellsAlongX() const { return quarterTurn() ? gridRows : gridCols; }
  int64_t cellsAlongY() const { return quarterTurn() ? gridCols : gridRows; }
  // Anything can be converted with it: no empty grid or space.
  bool usable() const;
  bool operator==(const OverlayGeometry&) const = default;
};

OverlayGeometry computeOverlayGeometry(int gridType, int kind, int pictureWidth, int pictureHeight,
                                       int rotation);

// The part of the video rectangle overlays live in: inclusive bounds, margins taken off.
struct OverlayArea {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = -1;
  int64_t bottom = -1;

  int64_t width() const { return right - left + 1; }
  int64_t height() const { return bottom - top + 1; }
  bool empty() const { return width() <= 0 || height() <= 0; }
  bool operator==(const OverlayArea&) const = default;
};

// Margins follow the picture as the camera sends it: they are the window pixels showing its last
// partial cell, whatever the rotation.
OverlayArea overlayArea(const OverlayGeometry& geometry, const Rect& video);

}  // namespace vexa
