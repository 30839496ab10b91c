#pragma once

#include <string>
#include <utility>

#include "display/Canvas.h"
#include "display/ContextMenu.h"
#include "display/PtzSender.h"

namespace vexa {

// The camera's pan/tilt/zoom abilities and the mouse modes both drawing windows share: model
// flags, the switches the page sets, centre mode and the continuous zoom the wheel runs.
class PtzMouse {
 public:
  static constexpr int kWheelZoomSpeed = 70;
  // Housekeeping periods (100 ms) after the last notch before the zoom stops.
  static constexpr int kZoomStopSteps = 5;
  // From this zoom position on, a camera with digital zoom only zooms in digitally.
  static constexpr int kDigitalZoomPosition = 796;

  explicit PtzMouse(PtzSender& sender);
  PtzMouse(const PtzMouse&) = delete;
  PtzMouse& operator=(const PtzMouse&) = delete;

  // "TQ320" or "TQ330": able to pan, tilt and zoom; any other model clears EN_PT and EN_ZOOM.
  void SetModel(const std::string& model);
  // value >= 0 sets the switch to value != 0; a negative value is ignored.
  void SetEnPt(int value) { setSwitch(enPt_, value); }
  void SetEnCenter(int value) { setSwitch(enCenter_, value); }
  void SetEnZoom(int value) { setSwitch(enZoom_, value); }
  // Overlays on the picture take the left button from the joystick.
  void setOverlaysExist(bool exist) { overlaysExist_ = exist; }

  bool ptzCapable() const { return ptzCapable_; }
  bool isTq320() const { return tq320_; }
  bool isTq330() const { return tq330_; }
  bool enPt() const { return enPt_; }
  bool enCenter() const { return enCenter_; }
  bool enZoom() const { return enZoom_; }
  bool overlaysExist() const { return overlaysExist_; }
  // The joystick (and centre clicks) steer this camera.
  bool joystickEnabled() const { return (tq320_ || tq330_) && enPt_; }
  bool centreMode() const { return centreMode_; }
  // Centre mode commands; false for any other id.
  bool onCommand(int id);

  // The video window's wheel: a notch starts a continuous zoom unless that direction runs.
  void onWheel(int delta);
  // A full-screen wheel step: true when it goes to the camera, false when the digital zoom
  // (at digitalZoom now) takes it.
  bool fullScreenZoomStep(bool in, int digitalZoom);
  // Every 100 ms: stops a continuous zoom five periods after its last notch.
  void housekeeping();
  int lastZoomPosition() const { return lastZoomPosition_; }
  bool zoomRunning() const { return zoomIn_ || zoomOut_; }

  ContextMenu windowMenu() const;
  ContextMenu fullScreenMenu() const;

  PtzSender& sender() { return sender_; }

 private:
  static void setSwitch(bool& flag, int value) {
    if (value >= 0) flag = value != 0;
  }
  void startZoom(bool in);
  MenuItem centreModeItem() const;

  PtzSender& sender_;
  bool ptzCapable_ = false;
  bool tq320_ = false;
  bool tq330_ = false;
  bool enPt_ = false;
  bool enCenter_ = false;
  bool enZoom_ = false;
  bool overlaysExist_ = false;
  bool centreMode_ = false;
  bool zoomIn_ = false;
  bool zoomOut_ = false;
  int zoomSteps_ = 0;
  int lastZoomPosition_ = 0;
};

bool pointInRect(const Rect& rect, int x, int y);
// Pan and tilt speeds for a cursor at (x, y) over the video rectangle: -100..100 by the distance
// from its centre, 0 inside the dead zones.
std::pair<int, int> joystickSpeeds(const Rect& video, int x, int y);
// One joystick axis: the offset from the steering centre as a share of the half size, times scale,
// within -100..100; 0 inside the dead zone (deadZone pixels, or a hundredth of the half size).
int joystickAxisSpeed(int offset, int half, int deadZone, int scale);
// The red arrow head at the cursor pointing away from the rectangle's centre, with its tail.
void drawDirectionPointer(Canvas& canvas, const Rect& video, int x, int y);

// One window's joystick: a held left button pans and tilts after a short hold, the pointer shows
// where to.
class PtzJoystick {
 public:
  // Draws a button must be held before the speeds go out.
  static constexpr int kHoldDraws = 10;

  // Left button down; drag shows the pointer (and hides the cursor) until release. The hold
  // starts only inside the rectangle.
  void press(int x, int y, const Rect& video, bool drag);
  void move(int x, int y);
  // One draw: the pointer while dragging, the speeds (if sendTo) once held long enough.
  void draw(Canvas& canvas, const Rect& video, PtzSender* sendTo);
  // Left button up; true when a drag ended.
  bool release();
  bool dragging() const { return dragging_; }

 private:
  bool dragging_ = false;
  bool holding_ = false;
  int holdDraws_ = 0;
  int x_ = 0;
  int y_ = 0;
};

}  // namespace vexa
