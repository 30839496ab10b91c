#pragma once

#include <cstdint>
#include <string>

#include "display/overlay/OverlayMapping.h"

namespace vexa {

// Edges under the cursor while editing with the mouse.
enum OverlayHandle : int { kHandleTop = 1, kHandleRight = 2, kHandleBottom = 4, kHandleLeft = 8 };

// One motion window, privacy mask or region of interest. The space rectangle is the truth; the
// cells and the window rectangle are derived from it through the window's geometry. Values are
// kept wide so that any 32-bit script coordinates read back as they were given.
class OverlayElement {
 public:
  OverlayElement() = default;
  OverlayElement(std::string name, const OverlaySpaceRect& space);
  // A motion window given in window pixels; its cells and space follow once a usable geometry
  // exists, until then it answers with the rectangle as given.
  static OverlayElement inWindow(const OverlayWindowRect& window);

  const std::string& name() const { return name_; }
  const OverlaySpaceRect& space() const { return space_; }
  const OverlayCellRect& cells() const { return cells_; }
  const OverlayWindowRect& window() const { return window_; }
  bool windowPending() const { return windowPending_; }

  // Region of interest limits: the aspect reduced by the greatest common divisor (0:0 when both
  // are 0) and a minimum size in space units (0 = none).
  void setAspect(int x, int y);
  int aspectX() const { return aspectX_; }
  int aspectY() const { return aspectY_; }
  void setMinimumSize(int width, int height) { minWidth_ = width, minHeight_ = height; }
  int minWidth() const { return minWidth_; }
  int minHeight() const { return minHeight_; }

  // As the script adds it: only a start before the space is pulled in, at the cost of the size.
  void clampOnAdd();
  // Entirely into a space of the given size, at least one unit large.
  void clampToSpace(int64_t spaceWidth, int64_t spaceHeight);
  void moveBy(int64_t dx, int64_t dy);
  // Cells and window rectangle from the space (a pending window rectangle first gives the space).
  // Nothing changes without a usable geometry; without an area only the cells do.
  void convert(const OverlayGeometry& geometry, const OverlayArea& area);
  // After mouse editing: the space follows the cells, then everything derived follows the space.
  void placeCells(const OverlayCellRect& cells, const OverlayGeometry& geometry,
                  const OverlayArea& area);

  // Mouse editing state.
  bool moving = false;
  bool resizing = false;
  int handle = 0;

 private:
  std::string name_;
  OverlaySpaceRect space_;
  OverlayCellRect cells_;
  OverlayWindowRect window_;
  bool windowPending_ = false;
  int aspectX_ = 0;
  int aspectY_ = 0;
  int minWidth_ = 0;
  int minHeight_ = 0;
};

}  // namespace vexa
