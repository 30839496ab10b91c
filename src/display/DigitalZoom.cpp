#include "display/DigitalZoom.h"

#include <algorithm>
#include <cstdint>

namespace vexa {
namespace {

// Client pixels to picture pixels, scaled by the zoom so that a drag covers more of a zoomed
// picture.
int toPictureUnits(int clientPixels, int pictureSize, int zoom, int clientSize) {
  if (clientSize <= 0) return 0;
  return int(int64_t(clientPixels) * pictureSize * zoom / clientSize);
}

}  // namespace

void DigitalZoom::reset() {
  zoom_ = kMinZoom;
  offsetX_ = offsetY_ = 0;
  pendingX_ = pendingY_ = 0;
  notches_ = 0;
}

DigitalZoom::Step DigitalZoom::countNotch(int delta) {
  if (delta >= 1) {
    notches_ = notches_ > 0 ? notches_ + 1 : 1;
  } else if (delta <= -1) {
    notches_ = notches_ < 0 ? notches_ - 1 : -1;
  } else {
    return Step::kNone;
  }
  if (notches_ >= kNotchesPerStep) {
    notches_ = 0;
    return Step::kIn;
  }
  if (notches_ <= -kNotchesPerStep) {
    notches_ = 0;
    return Step::kOut;
  }
  return Step::kNone;
}

void DigitalZoom::apply(Step step) {
  if (step == Step::kIn) {
    zoom_ = std::min(zoom_ + 1, kMaxZoom);
  } else if (step == Step::kOut) {
    if (--zoom_ < kMinZoom) {
      zoom_ = kMinZoom;
      offsetX_ = offsetY_ = 0;
    }
  }
}

void DigitalZoom::addDrag(int dx, int dy) {
  pendingX_ += dx;
  pendingY_ += dy;
}

Rect DigitalZoom::sourceRect(int pictureWidth, int pictureHeight, int clientWidth,
                             int clientHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return {};
  const int z = zoom_;
  offsetX_ += toPictureUnits(pendingX_, pictureWidth, z, clientWidth);
  offsetY_ += toPictureUnits(pendingY_, pictureHeight, z, clientHeight);
  pendingX_ = pendingY_ = 0;

  // The centred origin is also how far the offsets may move it either way.
  const int startX = pictureWidth / 2 - pictureWidth / (2 * z);
  const int startY = pictureHeight / 2 - pictureHeight / (2 * z);
  offsetX_ = std::clamp(offsetX_, -startX, startX);
  offsetY_ = std::clamp(offsetY_, -startY, startY);

  // A picture smaller than the zoom still shows at least one pixel.
  const int width = std::max(pictureWidth / z, 1);
  const int height = std::max(pictureHeight / z, 1);
  const int x = std::clamp(startX + offsetX_, 0, pictureWidth - width);
  const int y = std::clamp(startY + offsetY_, 0, pictureHeight - height);
  return {x, y, width, height};
}

}  // namespace vexa
