#include "display/overlay/OverlayList.h"

#include <algorithm>
#include <climits>

#include "common/DebugTrace.h"

namespace vexa {

namespace {

int saturate(int64_t value) {
  return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

bool OverlayList::admits(const std::string& name) const {
  if (elements_.size() >= kMaxElements) {
    DebugTrace("overlay: %zu elements already, add refused", elements_.size());
    return false;
  }
  if (name.size() > kMaxNameBytes) {
    DebugTrace("overlay: name of %zu bytes, add refused", name.size());
    return false;
  }
  return true;
}

void OverlayList::beginAdd(int kind) {
  kind_ = kind;
  applyProfile();
  refresh();
}

OverlayElement OverlayList::motionElement(const std::string& name, int x1, int y1, int x2,
                                          int y2) const {
  return OverlayElement(name, {int64_t(x1) - originX_, int64_t(y1) - originY_, int64_t(x2) - x1 + 1,
                               int64_t(y2) - y1 + 1});
}

void OverlayList::add(OverlayElement element) {
  element.clampOnAdd();
  elements_.push_front(std::move(element));
  refresh();
}

bool OverlayList::addMask(const std::string& name, int x, int y, int width, int height) {
  if (!admits(name)) return false;
  beginAdd(kOverlayMask);
  add(OverlayElement(name, {int64_t(x) - originX_, int64_t(y) - originY_, width, height}));
  return true;
}

bool OverlayList::addMotionByName(const std::string& name, int x1, int y1, int x2, int y2) {
  if (!admits(name)) return false;
  beginAdd(kOverlayMotion);
  add(motionElement(name, x1, y1, x2, y2));
  return true;
}

bool OverlayList::addMotion(int x1, int y1, int x2, int y2) {
  if (!admits("")) return false;
  beginAdd(kOverlayMotion);
  add(gridType_ == 0 ? OverlayElement::inWindow({x1, y1, x2, y2})
                     : motionElement("", x1, y1, x2, y2));
  return true;
}

bool OverlayList::addRoi(const std::string& name, int x, int y, int width, int height, int aspectX,
                         int aspectY, int minWidth, int minHeight) {
  if (!admits(name)) return false;
  beginAdd(kOverlayRoi);
  OverlayElement element(name, {int64_t(x) - originX_, int64_t(y) - originY_, width, height});
  element.setAspect(aspectX, aspectY);
  element.setMinimumSize(minWidth, minHeight);
  add(std::move(element));
  return true;
}

bool OverlayList::removeByName(const std::string& name) {
  const auto it = std::find_if(elements_.begin(), elements_.end(),
                               [&](const OverlayElement& e) { return e.name() == name; });
  if (it == elements_.end()) return false;
  elements_.erase(it);
  return true;
}

bool OverlayList::removeFront() {
  if (elements_.empty()) return false;
  elements_.pop_front();
  return true;
}

int OverlayList::point(const OverlayElement& element, int which) const {
  if (which < 0 || which > 3) return -1;
  if (kind_ == kOverlayMotion && gridType_ == 0) {
    const OverlayWindowRect& w = element.window();
    const int values[] = {w.left, w.top, w.right, w.bottom};
    return values[which];
  }
  const OverlaySpaceRect& s = element.space();
  const int64_t x = s.x + originX_;
  const int64_t y = s.y + originY_;
  if (kind_ == kOverlayMotion) {
    const int64_t values[] = {x, y, x + s.width - 1, y + s.height - 1};
    return saturate(values[which]);
  }
  const int64_t values[] = {x, y, s.width, s.height};
  return saturate(values[which]);
}

int OverlayList::motionPoint(int index, int which) const {
  if (index < 0 || std::size_t(index) >= elements_.size()) return -1;
  return point(*std::next(elements_.begin(), index), which);
}

int OverlayList::pointByName(const std::string& name, int which) const {
  for (const OverlayElement& element : elements_) {
    if (element.name() == name) return point(element, which);
  }
  return -1;
}

void OverlayList::adjustMotion() {
  if (!geometry_ || geometry_->spaceWidth <= 0 || geometry_->spaceHeight <= 0) {
    DebugTrace("overlay: no space to adjust to before the first picture");
    return;
  }
  for (OverlayElement& element : elements_) {
    element.clampToSpace(geometry_->spaceWidth, geometry_->spaceHeight);
  }
  refresh();
}

void OverlayList::setDescription(const std::string& model, const std::string& sensor,
                                 const std::string& resolution, const std::string& webVersion) {
  profile_ = {model, sensor, resolution, webVersion};
  applyProfile();
  refresh();
}

void OverlayList::setRotation(int rotation) {
  if (rotation < 0 || rotation > 5) {
    DebugTrace("overlay: rotation %d ignored", rotation);
    return;
  }
  rotation_ = rotation;
  refresh();
}

void OverlayList::updateGeometry(int pictureWidth, int pictureHeight, const Rect& videoRect) {
  havePicture_ = true;
  pictureWidth_ = pictureWidth;
  pictureHeight_ = pictureHeight;
  video_ = videoRect;
  refresh();
}

OverlayArea OverlayList::area() const {
  return geometry_ ? overlayArea(*geometry_, video_) : OverlayArea{};
}

void OverlayList::applyProfile() {
  const OverlayGridChoice choice = profile_.choose(kind_, gridType_);
  gridType_ = choice.gridType;
  if (choice.setsOrigin) setOrigin(choice.originX, choice.originY);
}

void OverlayList::setOrigin(int x, int y) {
  for (OverlayElement& element : elements_) {
    element.moveBy(int64_t(originX_) - x, int64_t(originY_) - y);
  }
  originX_ = x;
  originY_ = y;
}

void OverlayList::refresh() {
  if (!havePicture_) return;
  // The picture's size is not the only input: masks added after motion windows would otherwise
  // stay in the motion grid.
  const OverlayGeometry wanted =
      computeOverlayGeometry(gridType_, kind_, pictureWidth_, pictureHeight_, rotation_);
  const bool changed = !geometry_ || geometry_->gridType != wanted.gridType ||
                       geometry_->kind != wanted.kind || geometry_->rotation != wanted.rotation ||
                       geometry_->pictureWidth != wanted.pictureWidth ||
                       geometry_->pictureHeight != wanted.pictureHeight;
  if (changed) {
    geometry_ = wanted;
    if (wanted.setsOrigin) setOrigin(wanted.originX, wanted.originY);
  }
  const OverlayArea area = overlayArea(*geometry_, video_);
  for (OverlayElement& element : elements_) element.convert(*geometry_, area);
}

}  // namespace vexa
