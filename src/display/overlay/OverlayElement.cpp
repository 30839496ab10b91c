#include "display/overlay/OverlayElement.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace vexa {

namespace {

void clampStartOnAdd(int64_t& start, int64_t& length) {
  if (start >= 0) return;
  length += start;
  start = 0;
  if (length < 0) length = 1;
}

void clampIntoSpace(int64_t& start, int64_t& length, int64_t size) {
  if (start < 0) {
    length += start;
    start = 0;
  }
  if (start >= size) {
    length -= start - size;
    start = size - 1;
  }
  length = std::max<int64_t>(length, 1);
  if (start + length > size) length = size - start;
}

}  // namespace

OverlayElement::OverlayElement(std::string name, const OverlaySpaceRect& space)
    : name_(std::move(name)), space_(space) {}

OverlayElement OverlayElement::inWindow(const OverlayWindowRect& window) {
  OverlayElement element;
  element.window_ = window;
  element.windowPending_ = true;
  return element;
}

void OverlayElement::setAspect(int x, int y) {
  // Wide, so that INT_MIN has a magnitude.
  const int64_t divisor = std::gcd(int64_t(x), int64_t(y));
  aspectX_ = divisor == 0 ? 0 : int(x / divisor);
  aspectY_ = divisor == 0 ? 0 : int(y / divisor);
}

void OverlayElement::clampOnAdd() {
  clampStartOnAdd(space_.x, space_.width);
  clampStartOnAdd(space_.y, space_.height);
}

void OverlayElement::clampToSpace(int64_t spaceWidth, int64_t spaceHeight) {
  if (windowPending_) return;
  clampIntoSpace(space_.x, space_.width, spaceWidth);
  clampIntoSpace(space_.y, space_.height, spaceHeight);
}

void OverlayElement::moveBy(int64_t dx, int64_t dy) {
  if (windowPending_) return;
  space_.x += dx;
  space_.y += dy;
}

void OverlayElement::convert(const OverlayGeometry& geometry, const OverlayArea& area) {
  if (!geometry.usable()) return;
  if (windowPending_) {
    if (area.empty()) return;
    space_ = spaceFromCells(cellsFromWindow(window_, geometry, area), geometry);
    windowPending_ = false;
    clampOnAdd();
  }
  cells_ = cellsFromSpace(space_, geometry);
  if (!area.empty()) window_ = windowFromCells(cells_, geometry, area);
}

void OverlayElement::placeCells(const OverlayCellRect& cells, const OverlayGeometry& geometry,
                                const OverlayArea& area) {
  if (!geometry.usable()) return;
  space_ = spaceFromCells(cells, geometry);
  windowPending_ = false;
  convert(geometry, area);
}

}  // namespace vexa
