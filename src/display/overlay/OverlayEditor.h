#pragma once

#include <cstdint>
#include <optional>

#include "display/overlay/OverlayList.h"

namespace vexa {

enum class OverlayCursor { kArrow, kSizeNS, kSizeWE, kSizeNESW, kSizeNWSE };

// Moves and resizes a window's overlays with the left button, in client coordinates. Edits go
// through the grid in whole cells; the space rectangle stays the truth and follows the cells.
class OverlayEditor {
 public:
  explicit OverlayEditor(OverlayList& list);

  // False when nothing was hit (the window then lets others have the click).
  bool buttonDown(int x, int y);
  // With the button held: drags the element hit; without: only the cursor follows.
  void move(int x, int y);
  void buttonUp();
  bool dragging() const;
  // The shape the cursor should have after the last mouse message.
  OverlayCursor cursor() const { return cursor_; }

 private:
  // A visible cell in window directions: columns across, rows down.
  struct Cell {
    int64_t col = 0;
    int64_t row = 0;
  };
  Cell cellAt(int x, int y) const;
  void drag(int x, int y);
  void updateCursor(int x, int y);

  OverlayList& list_;
  bool held_ = false;
  int lastX_ = 0;
  int lastY_ = 0;
  Cell remembered_;
  // The grid the remembered cell belongs to: a new picture size or window mid-drag re-anchors.
  std::optional<OverlayGeometry> anchorGeometry_;
  OverlayArea anchorArea_;
  OverlayCursor cursor_ = OverlayCursor::kArrow;
};

}  // namespace vexa
