#pragma once

#include <cstdint>

#include "display/Canvas.h"
#include "display/ContextMenu.h"
#include "display/fisheye/FisheyeEngine.h"

namespace vexa {

// Steers the fisheye engine's views with the mouse. In the perspective modes a short click
// centres the view on the clicked point, a held button turns it like a joystick towards the
// cursor and the wheel zooms once the button is idle; in the 360 modes a drag shifts the band.
// Positions are in the coordinates of the window showing the picture; video is where that
// window shows it; ticks are milliseconds of the window's clock.
class FisheyeViewControl {
 public:
  static constexpr uint32_t kClickMs = 500;
  static constexpr int kClickTravel = 9;
  static constexpr uint32_t kJoystickStepMs = 333;
  static constexpr int kMaxZoomIndex = 9;
  static constexpr int kMaxTilt = 90;

  explicit FisheyeViewControl(FisheyeEngine& engine) : engine_(engine) {}

  void buttonDown(int x, int y, const Rect& video, uint32_t now);
  // True when the view changed (a 360 drag).
  bool move(int x, int y, const Rect& video);
  void buttonUp();
  void doubleClick();
  // A wheel notch (+1 in, -1 out), applied once the button is idle.
  void wheel(int sign);
  // The per-draw step: timing, joystick steps, clicks, pending zoom, and the direction pointer
  // (when canvas is given). True when a view changed.
  bool step(uint32_t now, const Rect& video, Canvas* canvas);

  CursorState cursor() const;
  bool joystickMode() const { return pointerMode_ == PointerMode::kJoystick; }

 private:
  enum class PointerMode { kClick, kJoystick };
  enum class Button { kIdle, kPressed, kReleased };

  bool perspectiveMode() const;
  bool mode360() const;
  int viewUnder(int x, int y, const Rect& video) const;
  bool stepPressed(uint32_t now, const Rect& video, Canvas* canvas);
  bool joystickStep(const Rect& video);
  bool turnRolledView(FisheyeViewState& view, const Rect& area, int speedX, int speedY,
                      const Rect& video);
  bool centreOn(int x, int y, const Rect& video);
  bool applyPendingZoom();
  // The engine's output pixel (stored rows) under a window position.
  bool outputPixel(int x, int y, const Rect& video, int& px, int& storedRow) const;

  FisheyeEngine& engine_;
  PointerMode pointerMode_ = PointerMode::kClick;
  Button button_ = Button::kIdle;
  bool invertedTilt_ = false;
  bool captured_ = false;
  bool cross_ = false;
  int activeView_ = 0;
  int x_ = 0;
  int y_ = 0;
  int pressedX_ = 0;
  int pressedY_ = 0;
  uint32_t pressTick_ = 0;
  uint32_t lastTick_ = 0;
  uint32_t accumulatedMs_ = 0;
};

}  // namespace vexa
