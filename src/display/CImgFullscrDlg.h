#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "display/ContextMenu.h"
#include "display/DigitalZoom.h"
#include "display/PtzMouse.h"
#include "display/ViewFrame.h"
#include "media/PictureFormat.h"

namespace vexa {

// The full-screen window: the picture fitted to the desktop on white, with a digital zoom that
// the wheel steps and a drag pans (the right button's when the left one steers the camera). The
// video window decides when it is shown and hands it each picture to draw.
class CImgFullscrDlg {
 public:
  static constexpr uint32_t kBackgroundColour = 0xFFFFFF;

  CImgFullscrDlg(int desktopWidth, int desktopHeight);
  virtual ~CImgFullscrDlg() = default;

  // Shows the window with zoom 1 and no pan.
  void open();
  void hide() { shown_ = false; }
  bool isShown() const { return shown_; }
  void resize(int desktopWidth, int desktopHeight);

  void draw(const ShownPicture& picture, uint64_t pictureId, const PictureTint* tint = nullptr);

  void onMouseWheel(int delta);
  void onLeftButtonDown(int x, int y);
  void onMouseMove(int x, int y);
  void onLeftButtonUp(int x, int y);
  void onRightButtonDown(int x, int y);
  // The menu to show, if any.
  ContextMenu onRightButtonUp(int x, int y);

  // The video window's pan/tilt/zoom state, shared; the whole window is the joystick's area.
  void attachPtz(PtzMouse* ptz) { ptz_ = ptz; }
  bool ptzDragging() const { return joystick_.dragging(); }
  // Takes a wheel step (+1 in, -1 out) that the camera does not; true when the fisheye views
  // took it, so the digital zoom stays where it is.
  void attachFisheyeZoom(std::function<bool(int sign)> zoom) { fisheyeZoom_ = std::move(zoom); }

  const Canvas& canvas() const { return frame_.canvas(); }
  const ViewFrame& viewFrame() const { return frame_; }
  ViewFrame& viewFrame() { return frame_; }
  const DigitalZoom& zoom() const { return zoom_; }
  // The part of the picture drawn last.
  const Rect& lastSource() const { return lastSource_; }

 private:
  void paintBackground();
  bool panTiltEnabled() const { return ptz_ != nullptr && ptz_->enPt(); }

  ViewFrame frame_;
  DigitalZoom zoom_;
  Rect lastSource_;
  bool shown_ = false;
  bool leftHeld_ = false;
  bool rightHeld_ = false;
  PtzMouse* ptz_ = nullptr;
  PtzJoystick joystick_;
  std::function<bool(int sign)> fisheyeZoom_;
  int lastX_ = 0;
  int lastY_ = 0;
};

}  // namespace vexa
