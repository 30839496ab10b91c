#include "camera/PtzView.h"

#include <algorithm>

namespace vexa::camera {
namespace {

constexpr double kMsPerSecond = 1000;
constexpr double kHalfTurnDegrees = 180;
constexpr double kQuarterTurnDegrees = 90;

}  // namespace

PtzView::PtzView(int width, int height)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      centreX_((kHomeColumn + 0.5) * width_),
      centreY_((kHomeRow + 0.5) * height_) {}

void PtzView::setPanTilt(int pan, int tilt) {
  pan_ = std::clamp(pan, -kMaxSpeed, kMaxSpeed);
  tilt_ = std::clamp(tilt, -kMaxSpeed, kMaxSpeed);
}

void PtzView::setZoomSpeed(int speed) {
  zoomSpeed_ = std::clamp(speed, -kMaxSpeed, kMaxSpeed);
}

double PtzView::magnification() const {
  return 1 + (kMaxMagnification - 1) * zoom_ / kMaxZoomPosition;
}

int PtzView::zoomPosition() const {
  return int(zoom_ + 0.5);
}

ViewRect PtzView::crop() const {
  const double width = width_ / magnification();
  const double height = height_ / magnification();
  return {centreX_ - width / 2, centreY_ - height / 2, width, height};
}

void PtzView::centreOn(int x, int y, int imageWidth, int imageHeight) {
  if (imageWidth <= 0 || imageHeight <= 0) return;
  const ViewRect view = crop();
  centreX_ = view.x + view.width * x / imageWidth;
  centreY_ = view.y + view.height * y / imageHeight;
  keepInsideScene();
}

void PtzView::advance(uint32_t ms) {
  const double seconds = ms / kMsPerSecond;
  // Speeds are in shown pixels: at any zoom a pan crosses the picture in the same time.
  const double scale = seconds / kMaxSpeed / magnification();
  centreX_ += pan_ * scale * width_ / 2;
  centreY_ -= tilt_ * scale * height_ / 2;
  zoom_ = std::clamp(zoom_ + zoomSpeed_ * seconds * kZoomUnitsPerSecond / kMaxSpeed, 0.0,
                     double(kMaxZoomPosition));
  keepInsideScene();
}

void PtzView::keepInsideScene() {
  const ViewRect view = crop();
  centreX_ = std::clamp(centreX_, view.width / 2, sceneWidth() - view.width / 2);
  centreY_ = std::clamp(centreY_, view.height / 2, sceneHeight() - view.height / 2);
}

double PtzView::panDegrees() const {
  return (centreX_ - sceneWidth() / 2) / (sceneWidth() / 2) * kHalfTurnDegrees;
}

double PtzView::tiltDegrees() const {
  return (sceneHeight() / 2 - centreY_) / (sceneHeight() / 2) * kQuarterTurnDegrees;
}

}  // namespace vexa::camera
