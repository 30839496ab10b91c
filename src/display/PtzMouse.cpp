#include "display/PtzMouse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vexa {
namespace {

constexpr uint32_t kPointerColour = 0x0000FF;  // red, as a colour value
constexpr int kDeadZonePixels = 8;
constexpr double kPointerHeadLength = 8;
constexpr double kPointerTailLength = 15;
constexpr int kPointerTailRadius = 3;

int clampInto(int value, int low, int length) {
  return std::clamp(value, low, low + std::max(length - 1, 0));
}

}  // namespace

PtzMouse::PtzMouse(PtzSender& sender) : sender_(sender) {
  sender_.setZoomPositionSink([this](int position) { lastZoomPosition_ = position; });
}

void PtzMouse::SetModel(const std::string& model) {
  tq320_ = model == "TQ320";
  tq330_ = model == "TQ330";
  if (tq320_ || tq330_) {
    ptzCapable_ = true;
    return;
  }
  enPt_ = false;
  enZoom_ = false;
}

bool PtzMouse::onCommand(int id) {
  if (id != kCommandCentreMode && id != kCommandJoystickMode) return false;
  centreMode_ = id == kCommandCentreMode;
  return true;
}

void PtzMouse::onWheel(int delta) {
  if (!tq330_ || !enZoom_ || delta == 0) return;
  startZoom(delta > 0);
}

bool PtzMouse::fullScreenZoomStep(bool in, int digitalZoom) {
  const bool tq320Optical =
      tq320_ && enZoom_ && (in ? lastZoomPosition_ < kDigitalZoomPosition : digitalZoom == 1);
  if (!tq330_ && !tq320Optical) return false;
  if (!enZoom_) return true;
  startZoom(in);
  // This camera tells where its zoom is only when asked.
  if (tq320_) sender_.queryPosition();
  return true;
}

void PtzMouse::startZoom(bool in) {
  bool& running = in ? zoomIn_ : zoomOut_;
  if (!running) sender_.zoom(in ? kWheelZoomSpeed : -kWheelZoomSpeed);
  zoomIn_ = in;
  zoomOut_ = !in;
  zoomSteps_ = 0;
}

void PtzMouse::housekeeping() {
  if (!(tq320_ || tq330_) || !zoomRunning()) return;
  if (++zoomSteps_ < kZoomStopSteps) return;
  sender_.zoom(0);
  zoomIn_ = zoomOut_ = false;
  zoomSteps_ = 0;
}

MenuItem PtzMouse::centreModeItem() const {
  if (centreMode_) return {kCommandJoystickMode, "Set emulated joystick mode"};
  return {kCommandCentreMode, "Set center mode"};
}

ContextMenu PtzMouse::windowMenu() const {
  if (!ptzCapable_) return {};
  if (tq320_)
    return {207,
            {{kCommandFullScreen, "fullscreen"}, {kCommandPanTiltControl, "pan/tilt control"}}};
  if (!tq330_ || !enPt_) return {};
  if (!enCenter_) return {206, {{kCommandFullScreen, "fullscreen"}}};
  return {209, {{kCommandFullScreen, "full screen"}, centreModeItem()}};
}

ContextMenu PtzMouse::fullScreenMenu() const {
  if (tq320_)
    return {208,
            {{kCommandNormalView, "Normal View"}, {kCommandPanTiltControl, "pan/tilt control"}}};
  if (!tq330_ || !enPt_) return {};
  if (!enCenter_) return {205, {{kCommandNormalView, "Normal View"}}};
  return {210, {{kCommandNormalView, "Normal View"}, centreModeItem()}};
}

bool pointInRect(const Rect& rect, int x, int y) {
  return x >= rect.x && x < rect.right() && y >= rect.y && y < rect.bottom();
}

std::pair<int, int> joystickSpeeds(const Rect& video, int x, int y) {
  const int halfWidth = video.width / 2;
  const int halfHeight = video.height / 2;
  return {joystickAxisSpeed(x - (video.x + halfWidth), halfWidth, kDeadZonePixels,
                            PtzSender::kMaxSpeed),
          joystickAxisSpeed((video.y + halfHeight) - y, halfHeight, kDeadZonePixels,
                            PtzSender::kMaxSpeed)};
}

int joystickAxisSpeed(int offset, int half, int deadZone, int scale) {
  // A rectangle without area has no centre to steer from.
  if (half <= 0) return 0;
  if (std::abs(offset) < deadZone || std::abs(offset) < half / 100) return 0;
  return std::clamp(offset * scale / half, -PtzSender::kMaxSpeed, PtzSender::kMaxSpeed);
}

void drawDirectionPointer(Canvas& canvas, const Rect& video, int x, int y) {
  const double dx = x - (video.x + video.width / 2);
  const double dy = y - (video.y + video.height / 2);
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0) return;
  const double k = kPointerHeadLength / length;
  const auto point = [](double px, double py) {
    return Canvas::Point{int(std::lround(px)), int(std::lround(py))};
  };
  const double baseX = x - dx * k;
  const double baseY = y - dy * k;
  canvas.drawPolygon({{x, y},
                      point(baseX + dy * k / 2, baseY - dx * k / 2),
                      point(baseX - dy * k / 2, baseY + dx * k / 2)},
                     kPointerColour);
  const Canvas::Point tail =
      point(x - kPointerTailLength * dx / length, y - kPointerTailLength * dy / length);
  canvas.drawLine(x, y, tail.x, tail.y, 1, kPointerColour);
  canvas.fillCircle(tail.x, tail.y, kPointerTailRadius, kPointerColour);
}

void PtzJoystick::press(int x, int y, const Rect& video, bool drag) {
  dragging_ = drag;
  x_ = x;
  y_ = y;
  if (pointInRect(video, x, y)) {
    holding_ = true;
    holdDraws_ = 0;
  }
}

void PtzJoystick::move(int x, int y) {
  x_ = x;
  y_ = y;
}

void PtzJoystick::draw(Canvas& canvas, const Rect& video, PtzSender* sendTo) {
  x_ = clampInto(x_, video.x, video.width);
  y_ = clampInto(y_, video.y, video.height);
  if (dragging_) drawDirectionPointer(canvas, video, x_, y_);
  if (holdDraws_ >= kHoldDraws) {
    if (sendTo != nullptr) {
      const auto [pan, tilt] = joystickSpeeds(video, x_, y_);
      sendTo->panTilt(pan, tilt);
    }
  } else if (holding_) {
    ++holdDraws_;
  }
}

bool PtzJoystick::release() {
  holding_ = false;
  holdDraws_ = 0;
  const bool wasDragging = dragging_;
  dragging_ = false;
  return wasDragging;
}

}  // namespace vexa
