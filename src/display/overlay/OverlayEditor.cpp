#include "display/overlay/OverlayEditor.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

namespace vexa {

namespace {

// Pixels inside a border that grab the edge rather than the whole element.
constexpr int64_t kEdgeZone = 8;
// The camera's budget for masks of grid types 4, 5 and 6, in space units over all elements.
constexpr int64_t kMaskSpaceBudget = 90;

int nearer(int64_t toStart, int64_t toEnd, int start, int end) {
  const bool nearStart = toStart < kEdgeZone;
  const bool nearEnd = toEnd < kEdgeZone;
  if (nearStart && nearEnd) return toStart < toEnd ? start : end;
  return nearStart ? start : nearEnd ? end : 0;
}

// 0 in the interior, the edges near the border, nothing outside.
std::optional<int> hitTest(const OverlayWindowRect& r, int64_t x, int64_t y) {
  if (x < r.left || x > r.right || y < r.top || y > r.bottom) return std::nullopt;
  if (x >= r.left + kEdgeZone && x <= r.right - kEdgeZone && y >= r.top + kEdgeZone &&
      y <= r.bottom - kEdgeZone) {
    return 0;
  }
  return nearer(y - r.top, r.bottom - y, kHandleTop, kHandleBottom) |
         nearer(x - r.left, r.right - x, kHandleLeft, kHandleRight);
}

OverlayCursor cursorFor(int handle) {
  const bool vertical = handle & (kHandleTop | kHandleBottom);
  const bool horizontal = handle & (kHandleLeft | kHandleRight);
  if (vertical && horizontal) {
    const bool rising = (handle & kHandleTop) ? (handle & kHandleRight) : (handle & kHandleLeft);
    return rising ? OverlayCursor::kSizeNESW : OverlayCursor::kSizeNWSE;
  }
  if (vertical) return OverlayCursor::kSizeNS;
  return horizontal ? OverlayCursor::kSizeWE : OverlayCursor::kArrow;
}

// Whole cells along the space's x and y axes, or across and down the window.
struct Delta {
  int64_t x = 0;
  int64_t y = 0;
};

// The drag follows the cursor whatever the rotation: window directions are turned into the
// space's axes before they reach the cells.
Delta toSpaceAxes(OverlayOrientation o, Delta window) {
  if (o.horizontalReversed) window.x = -window.x;
  if (o.verticalReversed) window.y = -window.y;
  return o.xVertical ? Delta{window.y, window.x} : window;
}

Delta toWindowAxes(OverlayOrientation o, Delta space) {
  Delta window = o.xVertical ? Delta{space.y, space.x} : space;
  if (o.horizontalReversed) window.x = -window.x;
  if (o.verticalReversed) window.y = -window.y;
  return window;
}

// Window edges as ends of the space's axes: left and top for the starts of x and y, right and
// bottom for their ends.
int toSpaceEdges(OverlayOrientation o, int handle) {
  bool acrossStart = handle & kHandleLeft;
  bool acrossEnd = handle & kHandleRight;
  bool downStart = handle & kHandleTop;
  bool downEnd = handle & kHandleBottom;
  if (o.horizontalReversed) std::swap(acrossStart, acrossEnd);
  if (o.verticalReversed) std::swap(downStart, downEnd);
  if (o.xVertical) {
    std::swap(acrossStart, downStart);
    std::swap(acrossEnd, downEnd);
  }
  return (acrossStart ? kHandleLeft : 0) | (acrossEnd ? kHandleRight : 0) |
         (downStart ? kHandleTop : 0) | (downEnd ? kHandleBottom : 0);
}

struct Range {
  int64_t lo;
  int64_t hi;
  int64_t clamp(int64_t v) const { return std::clamp(v, lo, hi); }
  bool holds(int64_t v) const { return v >= lo && v <= hi; }
};

// One axis of an element in a grid of count cells, at least `least` cells long. Limits it already
// breaks (set by the script) only keep it from getting worse.
struct AxisCells {
  int64_t start;
  int64_t length;
  int64_t count;
  int64_t least;

  int64_t end() const { return start + length; }
  Range moveRange() const {
    return {std::min<int64_t>(-start, 0), std::max<int64_t>(count - end(), 0)};
  }
  Range edgeRange(bool atStart) const {
    const int64_t give = length - std::min(length, least);
    return atStart ? Range{std::min<int64_t>(-start, 0), give}
                   : Range{-give, std::max<int64_t>(count - end(), 0)};
  }
  void moveEdge(bool atStart, int64_t by) {
    if (atStart) start += by;
    length += atStart ? -by : by;
  }
};

// Cells that cover a minimum size in space units, rounded up so the minimum is always met.
int64_t leastCells(int minimum, int64_t space, int64_t cells) {
  if (minimum <= 0) return 1;
  return std::max<int64_t>(1, (int64_t(minimum) * cells + space - 1) / space);
}

int64_t spaceArea(const OverlaySpaceRect& s) {
  return std::max<int64_t>(s.width, 0) * std::max<int64_t>(s.height, 0);
}

// Keeping an aspect: the side that follows is the nearest whole number of cells to the ratio,
// measured in space units (cells need not be square there); 0 when not even one cell follows, so
// the smallest region still has the ratio. Wide: ratios are any 32-bit pair.
int64_t following(int64_t lead, bool leadIsX, const OverlayGeometry& g, int aspectX, int aspectY) {
  // width * perWidth == height * perHeight, in cells.
  const __int128 perWidth = __int128(g.spaceWidth) * g.cellsAlongY() * aspectY;
  const __int128 perHeight = __int128(g.spaceHeight) * g.cellsAlongX() * aspectX;
  const __int128 num = lead * (leadIsX ? perWidth : perHeight);
  const __int128 den = leadIsX ? perHeight : perWidth;
  if (num < den) return 0;
  return int64_t(std::min<__int128>((2 * num + den) / (2 * den), int64_t(1) << 40));
}

using CellTest = std::function<bool(const OverlayCellRect&)>;

// A resize by handle: the dragged ends move by whole cells, a kept aspect sets the other side.
struct Resize {
  AxisCells x;
  AxisCells y;
  int edges;  // as ends of the space's axes
  bool keepAspect;
  bool leadIsX;        // with an aspect: the side the user drags
  bool followAtStart;  // with an aspect: the end of the other side that moves
  const OverlayGeometry& geometry;
  int aspectX;
  int aspectY;

  // Within the grid and the minimum size.
  Delta clamp(Delta want) const {
    Delta d;
    if (edges & (kHandleLeft | kHandleRight)) d.x = x.edgeRange(edges & kHandleLeft).clamp(want.x);
    if (edges & (kHandleTop | kHandleBottom)) d.y = y.edgeRange(edges & kHandleTop).clamp(want.y);
    if (keepAspect) (leadIsX ? d.y : d.x) = 0;
    return d;
  }
  // None when the following side does not fit.
  std::optional<OverlayCellRect> apply(Delta d) const {
    AxisCells nx = x;
    AxisCells ny = y;
    if (edges & (kHandleLeft | kHandleRight)) nx.moveEdge(edges & kHandleLeft, d.x);
    if (edges & (kHandleTop | kHandleBottom)) ny.moveEdge(edges & kHandleTop, d.y);
    if (keepAspect) {
      const AxisCells& lead = leadIsX ? nx : ny;
      const AxisCells& before = leadIsX ? y : x;
      const int64_t grow =
          following(lead.length, leadIsX, geometry, aspectX, aspectY) - before.length;
      const int64_t by = followAtStart ? -grow : grow;
      if (!before.edgeRange(followAtStart).holds(by)) return std::nullopt;
      (leadIsX ? ny : nx).moveEdge(followAtStart, by);
    }
    return OverlayCellRect{nx.start, ny.start, nx.length, ny.length};
  }
  // Smaller steps until the result fits; none when not even the smallest does.
  std::optional<OverlayCellRect> run(Delta want, const CellTest& fits) const {
    Delta d = clamp(want);
    for (;;) {
      if (const std::optional<OverlayCellRect> cells = apply(d); cells && fits(*cells)) {
        return cells;
      }
      if (d.x == 0 && d.y == 0) return std::nullopt;
      const bool backX = keepAspect ? leadIsX : std::abs(d.x) >= std::abs(d.y);
      int64_t& step = backX ? d.x : d.y;
      step += step > 0 ? -1 : 1;
    }
  }
};

// Privacy masks grown by mouse stay within what the camera takes: a quarter of the visible cells
// with grid type 0, 90 space units over all elements with types 4, 5 and 6. Shrinking is free.
CellTest maskLimit(const OverlayList& list, const OverlayElement& element) {
  const OverlayGeometry& g = *list.geometry();
  const bool budgeted = g.gridType >= 4 && g.gridType <= 6;
  if (list.kind() != kOverlayMask || (g.gridType != 0 && !budgeted)) {
    return [](const OverlayCellRect&) { return true; };
  }
  if (!budgeted) {
    const int64_t before = element.cells().width * element.cells().height;
    const int64_t quarter = g.visibleCols * g.visibleRows / 4;
    return [=, &g](const OverlayCellRect& cells) {
      const OverlayCellRect settled = cellsFromSpace(spaceFromCells(cells, g), g);
      const int64_t area = settled.width * settled.height;
      return area <= before || area <= quarter;
    };
  }
  int64_t others = 0;
  for (const OverlayElement& e : list.elements()) {
    if (&e != &element) others = std::min(others + spaceArea(e.space()), kMaskSpaceBudget + 1);
  }
  const int64_t before = spaceArea(element.space());
  return [=, &g](const OverlayCellRect& cells) {
    const int64_t area = spaceArea(spaceFromCells(cells, g));
    return area <= before || others + area <= kMaskSpaceBudget;
  };
}

}  // namespace

OverlayEditor::OverlayEditor(OverlayList& list) : list_(list) {}

OverlayEditor::Cell OverlayEditor::cellAt(int x, int y) const {
  const OverlayGeometry& g = *list_.geometry();
  const OverlayArea area = list_.area();
  const int64_t px = int64_t(x) - area.left;
  const int64_t py = int64_t(y) - area.top;
  Cell cell{scale(px, area.width(), g.visibleCols), scale(py, area.height(), g.visibleRows)};
  if (g.odd) {
    const int64_t half = scale(1, g.visibleCols, area.width()) / 2;
    cell.col = px < half ? 0 : scale(px - half, area.width(), g.visibleCols) + 1;
  }
  return cell;
}

bool OverlayEditor::buttonDown(int x, int y) {
  held_ = false;
  // A press without its release (focus lost) must not leave the old element dragging.
  if (OverlayElement* front = list_.front()) front->moving = front->resizing = false;
  if (list_.placed()) {
    const auto& elements = list_.elements();
    for (auto it = elements.begin(); it != elements.end(); ++it) {
      const std::optional<int> hit = hitTest(it->window(), x, y);
      if (!hit) continue;
      list_.raise(it);
      OverlayElement& front = *list_.front();
      front.moving = *hit == 0;
      front.resizing = *hit != 0;
      front.handle = *hit;
      remembered_ = cellAt(x, y);
      anchorGeometry_ = list_.geometry();
      anchorArea_ = list_.area();
      held_ = true;
      break;
    }
  }
  updateCursor(x, y);
  return held_;
}

void OverlayEditor::move(int x, int y) {
  if (held_ && list_.placed()) drag(x, y);
  updateCursor(x, y);
}

void OverlayEditor::buttonUp() {
  held_ = false;
  if (OverlayElement* front = list_.front()) {
    front->moving = false;
    front->resizing = false;
  }
  updateCursor(lastX_, lastY_);
}

bool OverlayEditor::dragging() const {
  const auto& elements = list_.elements();
  return held_ && !elements.empty() && (elements.front().moving || elements.front().resizing);
}

void OverlayEditor::updateCursor(int x, int y) {
  lastX_ = x;
  lastY_ = y;
  const OverlayElement* front = list_.front();
  if (!front || !list_.placed()) {
    cursor_ = OverlayCursor::kArrow;
  } else if (dragging()) {
    cursor_ = front->moving ? OverlayCursor::kArrow : cursorFor(front->handle);
  } else {
    cursor_ = cursorFor(hitTest(front->window(), x, y).value_or(0));
  }
}

void OverlayEditor::drag(int x, int y) {
  OverlayElement& element = *list_.front();
  if (!element.moving && !element.resizing) return;
  const OverlayGeometry& g = *list_.geometry();
  if (!(anchorGeometry_ == list_.geometry()) || !(anchorArea_ == list_.area())) {
    // The grid changed under the held button: carry on from where the cursor was in it.
    remembered_ = cellAt(lastX_, lastY_);
    anchorGeometry_ = list_.geometry();
    anchorArea_ = list_.area();
  }
  const Cell at = cellAt(x, y);
  const Delta across{at.col - remembered_.col, at.row - remembered_.row};
  if (across.x == 0 && across.y == 0) return;
  const OverlayOrientation o = overlayOrientation(g.rotation);
  const Delta want = toSpaceAxes(o, across);
  const OverlayCellRect before = element.cells();
  const int64_t leastX = leastCells(element.minWidth(), g.spaceWidth, g.cellsAlongX());
  const int64_t leastY = leastCells(element.minHeight(), g.spaceHeight, g.cellsAlongY());
  const AxisCells axisX{before.x, before.width, g.cellsAlongX(), leastX};
  const AxisCells axisY{before.y, before.height, g.cellsAlongY(), leastY};

  OverlayCellRect after = before;
  const int edges = toSpaceEdges(o, element.handle);
  if (element.moving) {
    after.x += axisX.moveRange().clamp(want.x);
    after.y += axisY.moveRange().clamp(want.y);
  } else {
    const bool keepAspect = element.aspectX() > 0 && element.aspectY() > 0;
    // The side the user drags leads; from a corner, the one the cursor moved further along. An
    // edge alone lets the other side grow to the right or down in the window.
    const bool dragsAcross = element.handle & (kHandleLeft | kHandleRight);
    const bool dragsDown = element.handle & (kHandleTop | kHandleBottom);
    const bool leadsAcross =
        dragsAcross && (!dragsDown || std::abs(across.x) >= std::abs(across.y));
    const int follower =
        element.handle | (dragsDown ? 0 : kHandleBottom) | (dragsAcross ? 0 : kHandleRight);
    const int followEdges = toSpaceEdges(o, follower);
    const bool leadIsX = leadsAcross != o.xVertical;
    Resize resize{axisX,
                  axisY,
                  keepAspect
                      ? edges & (leadIsX ? kHandleLeft | kHandleRight : kHandleTop | kHandleBottom)
                      : edges,
                  keepAspect,
                  leadIsX,
                  bool(followEdges & (leadIsX ? kHandleTop : kHandleLeft)),
                  g,
                  element.aspectX(),
                  element.aspectY()};
    const std::optional<OverlayCellRect> resized = resize.run(want, maskLimit(list_, element));
    if (!resized) return;
    after = *resized;
  }
  element.placeCells(after, g, list_.area());

  // The remembered cell keeps its place on what is dragged: the element, or the ends dragged
  // (the ones that follow an aspect included); sides not dragged follow the cursor.
  const OverlayCellRect& now = element.cells();
  Delta applied = want;
  if (element.moving) {
    applied = {now.x - before.x, now.y - before.y};
  } else {
    if (edges & kHandleLeft) applied.x = now.x - before.x;
    if (edges & kHandleRight) applied.x = now.x + now.width - before.x - before.width;
    if (edges & kHandleTop) applied.y = now.y - before.y;
    if (edges & kHandleBottom) applied.y = now.y + now.height - before.y - before.height;
  }
  const Delta back = toWindowAxes(o, applied);
  remembered_.col += back.x;
  remembered_.row += back.y;
}

}  // namespace vexa
