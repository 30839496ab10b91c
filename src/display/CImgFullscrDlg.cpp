#include "display/CImgFullscrDlg.h"

namespace vexa {

CImgFullscrDlg::CImgFullscrDlg(int desktopWidth, int desktopHeight)
    : frame_(desktopWidth, desktopHeight) {
  frame_.update(ViewFrame::kFit, 0, 0);
  paintBackground();
}

void CImgFullscrDlg::open() {
  zoom_.reset();
  leftHeld_ = false;
  rightHeld_ = false;
  joystick_ = {};  // a drag cut short by closing must not show its pointer again
  shown_ = true;
}

void CImgFullscrDlg::resize(int desktopWidth, int desktopHeight) {
  frame_.resize(desktopWidth, desktopHeight);
  paintBackground();
}

void CImgFullscrDlg::paintBackground() {
  frame_.canvas().fillRect(frame_.clientRect(), kBackgroundColour);
}

void CImgFullscrDlg::draw(const ShownPicture& picture, uint64_t pictureId,
                          const PictureTint* tint) {
  const BITMAPINFOHEADER& header = picture.header;
  if (picture.empty() || header.biWidth <= 0 || header.biHeight <= 0) return;
  if (frame_.update(ViewFrame::kFit, header.biWidth, header.biHeight)) paintBackground();
  const Rect& client = frame_.clientRect();
  lastSource_ = zoom_.sourceRect(header.biWidth, header.biHeight, client.width, client.height);
  frame_.canvas().drawPicture(picture, pictureId, lastSource_, frame_.videoRect(), tint);
  // Here the camera moves even in centre mode.
  if (ptz_ != nullptr && ptz_->joystickEnabled()) {
    joystick_.draw(frame_.canvas(), client, &ptz_->sender());
  }
}

void CImgFullscrDlg::onMouseWheel(int delta) {
  const DigitalZoom::Step step = zoom_.countNotch(delta);
  if (step == DigitalZoom::Step::kNone) return;
  if (ptz_ != nullptr && ptz_->fullScreenZoomStep(step == DigitalZoom::Step::kIn, zoom_.zoom())) {
    return;
  }
  if (fisheyeZoom_ && fisheyeZoom_(step == DigitalZoom::Step::kIn ? 1 : -1)) return;
  zoom_.apply(step);
}

void CImgFullscrDlg::onLeftButtonDown(int x, int y) {
  leftHeld_ = true;
  lastX_ = x;
  lastY_ = y;
  if (ptz_ == nullptr || !ptz_->joystickEnabled()) return;
  const Rect& client = frame_.clientRect();
  if (ptz_->centreMode())
    ptz_->sender().centre(x - client.x, y - client.y, client.height, client.width);
  joystick_.press(x, y, client, !ptz_->centreMode());
}

void CImgFullscrDlg::onMouseMove(int x, int y) {
  joystick_.move(x, y);
  const bool panning = panTiltEnabled() ? rightHeld_ : leftHeld_;
  if (!panning) return;
  zoom_.addDrag(x - lastX_, y - lastY_);
  lastX_ = x;
  lastY_ = y;
}

void CImgFullscrDlg::onLeftButtonUp(int x, int y) {
  onMouseMove(x, y);
  leftHeld_ = false;
  joystick_.release();
  if (ptz_ != nullptr && ptz_->joystickEnabled()) ptz_->sender().panTilt(0, 0);
}

void CImgFullscrDlg::onRightButtonDown(int x, int y) {
  if (!panTiltEnabled()) return;
  rightHeld_ = true;
  lastX_ = x;
  lastY_ = y;
}

ContextMenu CImgFullscrDlg::onRightButtonUp(int x, int y) {
  onMouseMove(x, y);
  rightHeld_ = false;
  return ptz_ != nullptr ? ptz_->fullScreenMenu() : ContextMenu{};
}

}  // namespace vexa
