// The video window's pan/tilt/zoom: joystick, centre clicks, wheel zoom, menus and cursor.
#include "display/CImgDlg.h"

namespace vexa {

void CImgDlg::ptzLeftButtonDown(int x, int y) {
  if (!ptz_.joystickEnabled() || ptz_.overlaysExist()) return;
  const Rect& video = viewFrame_.videoRect();
  if (!ptz_.centreMode()) {
    joystick_.press(x, y, video, true);
    return;
  }
  if (pointInRect(video, x, y))
    ptzSender_.centre(x - video.x, y - video.y, video.height, video.width);
}

void CImgDlg::ptzLeftButtonUp() {
  if (joystick_.release()) ptzSender_.panTilt(0, 0);
}

void CImgDlg::ptzWheel(int delta) {
  if (focused_) ptz_.onWheel(delta);
}

void CImgDlg::drawPtz() {
  if (!ptz_.joystickEnabled()) return;
  joystick_.draw(viewFrame_.canvas(), viewFrame_.videoRect(),
                 ptz_.centreMode() ? nullptr : &ptzSender_);
}

void CImgDlg::onRightButtonDown(int x, int y) {
  if (fullScreen_) {
    ensureFullScreenWindow().onRightButtonDown(x, y);
    return;
  }
  contextMenu_ = ptz_.windowMenu();
}

void CImgDlg::onRightButtonUp(int x, int y) {
  if (fullScreen_) contextMenu_ = ensureFullScreenWindow().onRightButtonUp(x, y);
}

CursorState CImgDlg::cursorState() const {
  const bool dragging =
      fullScreen_ && fullScreenWindow_ ? fullScreenWindow_->ptzDragging() : joystick_.dragging();
  const bool centreMode = ptz_.centreMode() && ptz_.joystickEnabled();
  const CursorState fisheye = fisheyeCursor();
  CursorShape shape = fullScreen_ ? CursorShape::kArrow : overlayCursor();
  if ((centreMode || fisheye.shape == CursorShape::kCross) && !fisheye.hidden) {
    shape = CursorShape::kCross;
  }
  return {.hidden = dragging || fisheye.hidden,
          .shape = shape,
          .captured = dragging || fisheye.captured || overlayEditor_.dragging()};
}

}  // namespace vexa
