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
  shown_ = true;
}

void CImgFullscrDlg::resize(int desktopWidth, int desktopHeight) {
  frame_.resize(desktopWidth, desktopHeight);
  paintBackground();
}

void CImgFullscrDlg::paintBackground() {
  frame_.canvas().fillRect(frame_.clientRect(), kBackgroundColour);
}

void CImgFullscrDlg::draw(const BITMAPINFOHEADER& header, const uint8_t* bits, uint64_t pictureId) {
  if (bits == nullptr || header.biWidth <= 0 || header.biHeight <= 0) return;
  if (frame_.update(ViewFrame::kFit, header.biWidth, header.biHeight)) paintBackground();
  const Rect& client = frame_.clientRect();
  lastSource_ = zoom_.sourceRect(header.biWidth, header.biHeight, client.width, client.height);
  frame_.canvas().drawPicture(header, bits, pictureId, lastSource_, frame_.videoRect());
}

void CImgFullscrDlg::onMouseWheel(int delta) {
  zoom_.apply(zoom_.countNotch(delta));
}

void CImgFullscrDlg::onLeftButtonDown(int x, int y) {
  leftHeld_ = true;
  lastX_ = x;
  lastY_ = y;
}

void CImgFullscrDlg::onMouseMove(int x, int y) {
  if (!leftHeld_) return;
  zoom_.addDrag(x - lastX_, y - lastY_);
  lastX_ = x;
  lastY_ = y;
}

void CImgFullscrDlg::onLeftButtonUp(int x, int y) {
  onMouseMove(x, y);
  leftHeld_ = false;
}

}  // namespace vexa
