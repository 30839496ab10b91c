#include "display/fisheye/FisheyeViewControl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "display/PtzMouse.h"

namespace vexa {

namespace {

constexpr int kFullTurn = 360;
constexpr int kHalfTurn = 180;
constexpr int kMaxSpeed = 100;
constexpr int kSpeedPerDegree = 10;
constexpr int kViewDeadZone = 8;
constexpr int kQuadrantDeadZone = 4;
constexpr int kViewSpeedScale = 100;
constexpr int kQuadrantSpeedScale = 50;
// How far, as a share of the view's half size at full speed, a rolled view turns per step.
constexpr double kRolledStepShare = 0.25;

double toDegrees(double radians) {
  return radians * 180.0 / kFisheyePi;
}

int wrapPan(int pan) {
  pan %= kFullTurn;
  return pan < 0 ? pan + kFullTurn : pan;
}

// The view direction that looks at a lens point: the fisheye angle as tilt, and the azimuth
// (degrees, counter-clockwise from the sensor's x axis) from which pan follows.
struct LensDirection {
  double azimuth;
  int tilt;
};
LensDirection lensDirection(const FisheyeEngine::LensOffset& offset) {
  const double radius = std::sqrt(offset.dx * offset.dx + offset.dy * offset.dy);
  // Rounded, not truncated: a degree is several pixels of a zoomed view.
  return {toDegrees(std::atan2(-offset.dy, offset.dx)),
          int(std::lround(toDegrees(2 * std::atan(radius / 2 / kLensFocal))))};
}

// A plain perspective view looks at azimuth pan - 90.
int plainPan(const LensDirection& direction) {
  return wrapPan(int(std::lround(kHalfTurn / 2 + direction.azimuth)));
}

// A rolled view looks at azimuth 2 pan - 90 - bias, so two pans half a turn apart look the
// same way: the one nearer the current pan is kept.
int rolledPan(const LensDirection& direction, int biasDegrees, int currentPan) {
  const int pan = wrapPan(int(std::lround((direction.azimuth + 90 + biasDegrees) / 2)));
  const int other = wrapPan(pan + kHalfTurn);
  const auto distance = [currentPan](int p) {
    const int d = std::abs(p - currentPan) % kFullTurn;
    return std::min(d, kFullTurn - d);
  };
  return distance(pan) <= distance(other) ? pan : other;
}

}  // namespace

bool FisheyeViewControl::perspectiveMode() const {
  const int mode = windowMode(engine_.mode());
  return mode == kFisheyePtz || mode == kFisheyeQuad || mode == kFisheyePanoPtz;
}

bool FisheyeViewControl::mode360() const {
  return windowMode(engine_.mode()) == kFisheye360;
}

int FisheyeViewControl::viewUnder(int x, int y, const Rect& video) const {
  const int mode = windowMode(engine_.mode());
  const bool right = x > video.x + video.width / 2;
  if (mode == kFisheyePanoPtz) return right ? 1 : 0;
  if (mode != kFisheyeQuad) return 0;
  const bool upper = y < video.y + video.height / 2;
  return (upper ? 0 : 2) + (right ? 1 : 0);
}

void FisheyeViewControl::buttonDown(int x, int y, const Rect& video, uint32_t now) {
  x_ = pressedX_ = x;
  y_ = pressedY_ = y;
  captured_ = perspectiveMode() || mode360();
  if (!perspectiveMode()) return;
  if (button_ != Button::kPressed) {
    button_ = Button::kPressed;
    pressTick_ = now;
    activeView_ = viewUnder(x, y, video);
  }
  invertedTilt_ = engine_.view(activeView_).tilt < 0;
}

bool FisheyeViewControl::move(int x, int y, const Rect& video) {
  const int dx = x - x_;
  x_ = x;
  y_ = y;
  if (perspectiveMode()) {
    cross_ = pointerMode_ == PointerMode::kClick;
    // The wheel zooms the view under the cursor; a click keeps the view it was made on.
    if (button_ == Button::kIdle) activeView_ = viewUnder(x, y, video);
    return false;
  }
  if (!mode360() || !captured_ || video.width <= 0) return false;
  FisheyeViewState& band = engine_.view(0);
  const int turned = wrapPan(band.pan - dx * kHalfTurn / video.width);
  if (turned == band.pan) return false;
  band.pan = turned;
  return true;
}

void FisheyeViewControl::buttonUp() {
  captured_ = false;
  if (pointerMode_ == PointerMode::kJoystick) {
    button_ = Button::kIdle;
    pointerMode_ = PointerMode::kClick;
  } else {
    button_ = button_ == Button::kPressed ? Button::kReleased : Button::kIdle;
  }
}

void FisheyeViewControl::doubleClick() {
  button_ = Button::kIdle;
  pointerMode_ = PointerMode::kClick;
}

void FisheyeViewControl::wheel(int sign) {
  if (!perspectiveMode() || sign == 0) return;
  engine_.view(activeView_).pendingZoomSteps += sign > 0 ? 1 : -1;
}

bool FisheyeViewControl::step(uint32_t now, const Rect& video, Canvas* canvas) {
  if (!perspectiveMode()) return false;
  switch (button_) {
    case Button::kPressed:
      return stepPressed(now, video, canvas);
    case Button::kReleased:
      if (pointerMode_ != PointerMode::kClick || now - pressTick_ < kJoystickStepMs) return false;
      button_ = Button::kIdle;
      // Strictly inside: a click on the rectangle's edge is not on the picture.
      if (pressedX_ <= video.x || pressedY_ <= video.y || pressedX_ >= video.right() ||
          pressedY_ >= video.bottom())
        return false;
      return centreOn(pressedX_, pressedY_, video);
    case Button::kIdle:
      return applyPendingZoom();
  }
  return false;
}

bool FisheyeViewControl::stepPressed(uint32_t now, const Rect& video, Canvas* canvas) {
  if (pointerMode_ == PointerMode::kClick) {
    const int travel = std::abs(x_ - pressedX_) + std::abs(y_ - pressedY_);
    if (now - pressTick_ < kClickMs && travel < kClickTravel) return false;
    pointerMode_ = PointerMode::kJoystick;
    cross_ = false;
    lastTick_ = now;
    accumulatedMs_ = 0;
  }
  accumulatedMs_ += now - lastTick_;
  lastTick_ = now;
  bool changed = false;
  if (accumulatedMs_ > kJoystickStepMs) {
    accumulatedMs_ = 0;
    changed = joystickStep(video);
  }
  if (canvas != nullptr) drawDirectionPointer(*canvas, video, x_, y_);
  return changed;
}

bool FisheyeViewControl::joystickStep(const Rect& video) {
  FisheyeViewState& view = engine_.view(activeView_);
  const int mode = windowMode(engine_.mode());
  int speedX = 0, speedY = 0;
  if (mode == kFisheyeQuad) {
    const int qx = video.width / 4, qy = video.height / 4;
    const bool right = activeView_ % 2 == 1, upper = activeView_ < 2;
    const int centreX = right ? video.x + video.width - qx : video.x + qx;
    const int centreY = upper ? video.y + qy : video.y + video.height - qy;
    speedX = joystickAxisSpeed(x_ - centreX, qx, kQuadrantDeadZone, kQuadrantSpeedScale);
    speedY = joystickAxisSpeed(centreY - y_, qy, kQuadrantDeadZone, kQuadrantSpeedScale);
  } else if (mode == kFisheyePanoPtz) {
    const int qx = video.width / 4, qy = video.height / 4;
    const Rect area{video.x + activeView_ * video.width / 2, video.y + video.height / 2,
                    video.width / 2, video.height / 2};
    speedX = joystickAxisSpeed(x_ - (area.x + qx), qx, kViewDeadZone, kViewSpeedScale);
    speedY = joystickAxisSpeed((area.y + qy) - y_, qy, kViewDeadZone, kViewSpeedScale);
    return turnRolledView(view, area, speedX, speedY, video);
  } else {
    const int hx = video.width / 2, hy = video.height / 2;
    speedX = joystickAxisSpeed(x_ - (video.x + hx), hx, kViewDeadZone, kViewSpeedScale);
    speedY = joystickAxisSpeed((video.y + hy) - y_, hy, kViewDeadZone, kViewSpeedScale);
  }
  const int pan = wrapPan(view.pan + speedX / kSpeedPerDegree);
  const int turn = invertedTilt_ ? -speedY / kSpeedPerDegree : speedY / kSpeedPerDegree;
  const int tilt = std::clamp(view.tilt + turn, -kMaxTilt, kMaxTilt);
  if (pan == view.pan && tilt == view.tilt) return false;
  view.pan = pan;
  view.tilt = tilt;
  return true;
}

// A rolled view's pan also turns its picture, so speeds cannot be added to pan and tilt: the
// view turns to look at the scene point a little way from its centre towards the cursor.
bool FisheyeViewControl::turnRolledView(FisheyeViewState& view, const Rect& area, int speedX,
                                        int speedY, const Rect& video) {
  if (speedX == 0 && speedY == 0) return false;
  const double share = kRolledStepShare / kMaxSpeed;
  const int targetX = area.x + area.width / 2 + int(speedX * share * area.width / 2);
  const int targetY = area.y + area.height / 2 - int(speedY * share * area.height / 2);
  int px = 0, row = 0;
  if (!outputPixel(targetX, targetY, video, px, row)) return false;
  const auto offset = engine_.lensOffsetAt(px, row);
  if (!offset) return false;
  const LensDirection direction = lensDirection(*offset);
  const int pan = rolledPan(direction, engine_.rotateBiasDegrees(), view.pan);
  const int tilt = std::clamp(direction.tilt, 0, kMaxTilt);
  if (pan == view.pan && tilt == view.tilt) return false;
  view.pan = pan;
  view.tilt = tilt;
  return true;
}

bool FisheyeViewControl::centreOn(int x, int y, const Rect& video) {
  int px = 0, row = 0;
  if (!outputPixel(x, y, video, px, row)) return false;
  const auto offset = engine_.lensOffsetAt(px, row);
  if (!offset) return false;
  FisheyeViewState& view = engine_.view(activeView_);
  const LensDirection direction = lensDirection(*offset);
  const bool rolled = windowMode(engine_.mode()) == kFisheyePanoPtz;
  view.pan =
      rolled ? rolledPan(direction, engine_.rotateBiasDegrees(), view.pan) : plainPan(direction);
  view.tilt = direction.tilt;
  return true;
}

bool FisheyeViewControl::applyPendingZoom() {
  bool changed = false;
  for (int i = 0; i < kMaxFisheyeViews; ++i) {
    FisheyeViewState& view = engine_.view(i);
    if (view.pendingZoomSteps == 0) continue;
    const int zoom = std::clamp(view.zoomIndex + view.pendingZoomSteps, 0, kMaxZoomIndex);
    view.pendingZoomSteps = 0;
    changed = changed || zoom != view.zoomIndex;
    view.zoomIndex = zoom;
  }
  return changed;
}

bool FisheyeViewControl::outputPixel(int x, int y, const Rect& video, int& px,
                                     int& storedRow) const {
  const int width = engine_.outputWidth(), height = engine_.outputHeight();
  if (!pointInRect(video, x, y) || width <= 0 || height <= 0) return false;
  px = int(int64_t(x - video.x) * width / video.width);
  storedRow = height - 1 - int(int64_t(y - video.y) * height / video.height);
  return true;
}

CursorState FisheyeViewControl::cursor() const {
  const bool joystick = joystickMode() && button_ == Button::kPressed;
  return {.hidden = joystick,
          .shape = cross_ && !joystick ? CursorShape::kCross : CursorShape::kArrow,
          .captured = captured_};
}

}  // namespace vexa
