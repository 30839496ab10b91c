#include "display/overlay/OverlayDrawing.h"

#include <algorithm>

namespace vexa {

namespace {

// A horizontal or vertical line from (x1, y1) to (x2, y2), inclusive, penWidth wide around it.
// Filled as a span: outlines stroked as paths cost Cairo about twenty times as much.
void fillLine(Canvas& canvas, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int penWidth,
              uint32_t colour) {
  const int64_t before = (penWidth - 1) / 2;
  const int64_t left = std::min(x1, x2) - before, top = std::min(y1, y2) - before;
  const int64_t right = std::max(x1, x2) + penWidth - 1 - before;
  const int64_t bottom = std::max(y1, y2) + penWidth - 1 - before;
  // The area lies on the canvas, so the clamped values fit an int.
  const int64_t limit = int64_t(std::max(canvas.width(), canvas.height())) + penWidth;
  const auto fit = [&](int64_t v) { return int(std::clamp<int64_t>(v, -penWidth, limit)); };
  canvas.fillRect({fit(left), fit(top), fit(right) - fit(left) + 1, fit(bottom) - fit(top) + 1},
                  colour);
}

void drawOutline(Canvas& canvas, const OverlayWindowRect& window, const OverlayArea& area,
                 int penWidth, uint32_t colour) {
  if (window.right < area.left || window.left > area.right || window.bottom < area.top ||
      window.top > area.bottom) {
    return;
  }
  const int64_t left = std::max<int64_t>(window.left, area.left);
  const int64_t right = std::min<int64_t>(window.right, area.right);
  const int64_t top = std::max<int64_t>(window.top, area.top);
  const int64_t bottom = std::min<int64_t>(window.bottom, area.bottom);
  if (window.top >= area.top) fillLine(canvas, left, top, right, top, penWidth, colour);
  if (window.right <= area.right) fillLine(canvas, right, top, right, bottom, penWidth, colour);
  if (window.bottom <= area.bottom) fillLine(canvas, left, bottom, right, bottom, penWidth, colour);
  if (window.left >= area.left) fillLine(canvas, left, top, left, bottom, penWidth, colour);
}

}  // namespace

void drawOverlays(const OverlayList& list, Canvas& canvas) {
  if (!list.placed() || list.elements().empty()) return;
  const OverlayArea area = list.area();
  const auto& elements = list.elements();
  for (auto element = elements.rbegin(); element != elements.rend(); ++element) {
    const bool front = std::next(element) == elements.rend();
    drawOutline(canvas, element->window(), area, front ? kOverlayFrontPenWidth : kOverlayPenWidth,
                front ? kOverlayFrontPen : kOverlayPen);
  }
}

}  // namespace vexa
