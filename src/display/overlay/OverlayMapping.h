#pragma once

#include <cstdint>

#include "display/overlay/OverlayGeometry.h"

namespace vexa {

// x, y, width, height in space units or in grid cells.
struct OverlayRect {
  int64_t x = 0;
  int64_t y = 0;
  int64_t width = 0;
  int64_t height = 0;
  bool operator==(const OverlayRect&) const = default;
};
using OverlaySpaceRect = OverlayRect;  // the camera's coordinate space
using OverlayCellRect = OverlayRect;   // cells of the whole grid

// How the space's axes lie in the window under a rotation: whether x runs down the window, and
// which window axes run from their far edge.
struct OverlayOrientation {
  bool xVertical;
  bool horizontalReversed;
  bool verticalReversed;
};
OverlayOrientation overlayOrientation(int rotation);

// Inclusive client pixels.
struct OverlayWindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const OverlayWindowRect&) const = default;
};

// The conversions need a usable geometry (and the window ones a non-empty area). Far-out inputs
// are pulled to one space (or area) beyond the edge first: what they cover inside stays the same
// and every product stays within 64 bits.
OverlayCellRect cellsFromSpace(const OverlaySpaceRect& space, const OverlayGeometry& geometry);
OverlaySpaceRect spaceFromCells(const OverlayCellRect& cells, const OverlayGeometry& geometry);
OverlayWindowRect windowFromCells(const OverlayCellRect& cells, const OverlayGeometry& geometry,
                                  const OverlayArea& area);
// The inverse of windowFromCells for every rotation, so a rectangle given in window coordinates
// comes back where it was given.
OverlayCellRect cellsFromWindow(const OverlayWindowRect& window, const OverlayGeometry& geometry,
                                const OverlayArea& area);

}  // namespace vexa
