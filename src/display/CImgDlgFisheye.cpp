// The video window's fisheye views: settings, dewarping in the draw cycle, calibration and the
// mouse steering the views in both windows.
#include <array>
#include <string_view>

#include "display/CImgDlg.h"
#include "platform/UiLoop.h"

namespace vexa {

namespace {

// Canvas caches stretched pictures by id; dewarped pictures count apart from fetched ones.
constexpr uint64_t kDewarpedPictureIds = uint64_t(1) << 63;

constexpr std::array<std::string_view, 6> kRotationNames{
    "normal", "flip", "mirror", "rotate", "counterclockwise", "clockwise"};

bool isUpperOf(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != char(lower[i] - 'a' + 'A')) return false;
  }
  return true;
}

}  // namespace

FisheyeEngine& CImgDlg::ensureFisheye() {
  if (!fisheye_) {
    fisheye_ = std::make_unique<FisheyeEngine>();
    fisheye_->setOrientation(rotation_);
    fisheye_->setSensorClass(sensorClass_);
    fisheyeControl_ = std::make_unique<FisheyeViewControl>(*fisheye_);
    dewarped_ = std::make_unique<uint8_t[]>(kDisplayPictureBytes);
    if (fullScreenWindow_)
      fullScreenWindow_->attachFisheyeZoom(
          [this](int sign) { return fisheyeZoomStep(sign); });
  }
  redrawForced_ = true;
  return *fisheye_;
}

bool CImgDlg::fisheyeActive() const {
  return fisheye_ && fisheye_->mode() != kFisheyeNone;
}

int CImgDlg::SetFisheyeMode(const std::string& mode) {
  if (mode != "NONE") {
    if (ensureFisheye().setModeFromText(mode)) redrawForced_ = true;
  } else if (fisheye_) {
    fisheye_->setModeFromText(mode);
    redrawForced_ = true;
  }
  return fisheye_ ? 0 : 1;
}

void CImgDlg::SetFisheyeRotateBias(int32_t degrees) {
  ensureFisheye().setRotateBiasDegrees(degrees);
}
void CImgDlg::SetFisheyeCentreX(int32_t x) {
  ensureFisheye().setCentreX(x);
}
void CImgDlg::SetFisheyeCentreY(int32_t y) {
  ensureFisheye().setCentreY(y);
}
void CImgDlg::SetFisheyeDiameter(int32_t diameter) {
  ensureFisheye().setDiameter(diameter);
}

void CImgDlg::FishEyeCalibrate() {
  calibrationRequested_ = true;
}

FisheyeCircle CImgDlg::fisheyeCalibration() const {
  return fisheye_ ? fisheye_->calibrationResult() : FisheyeCircle{};
}

int CImgDlg::SetRotation(const std::string& rotation) {
  for (size_t i = 0; i < kRotationNames.size(); ++i) {
    if (rotation != kRotationNames[i] && !isUpperOf(rotation, kRotationNames[i])) continue;
    rotation_ = int(i);
    overlays_.setRotation(rotation_);
    redrawForced_ = true;
    if (fisheye_) fisheye_->setOrientation(rotation_);
  }
  return 0;
}

void CImgDlg::SetSensorMode(const std::string& resolution) {
  resolution_ = resolution;
  describeCamera();
  sensorClass_ = sensorClassFromText(resolution.c_str());
  if (fisheye_) {
    fisheye_->setSensorClass(sensorClass_);
    redrawForced_ = true;
  }
}

// Dewarps the prepared picture into the dewarp buffer, which is then what is drawn; false
// (the picture drawn as it is) when there is nothing to dewarp.
bool CImgDlg::dewarpPicture() {
  if (!fisheyeActive()) return false;
  fisheye_->setWindowVideoRect(ViewFrame::layout(displayMode_, viewFrame_.clientRect(),
                                                 fetched_.header.biWidth, fetched_.header.biHeight));
  fisheye_->setFullScreenClient(desktopWidth_, desktopHeight_);
  // Client masks go into what is dewarped.
  const bool masked = clientMasks_.tintFor(fetched_.header.biWidth, fetched_.header.biHeight);
  const uint8_t* bits = fetched_.bgr();
  const uint8_t* source = masked ? maskedCopy(fetched_.header, bits) : bits;
  BITMAPINFOHEADER header{};
  if (source == nullptr ||
      !fisheye_->dewarp(fetched_.header, source, dewarped_.get(), kDisplayPictureBytes, header))
    return false;
  // The decoder may have its picture back: the copy is ours.
  drawn_ = ShownPicture{header, dewarped_.get(), {}};
  drawPictureId_ = kDewarpedPictureIds | ++dewarpSerial_;
  return true;
}

void CImgDlg::serveCalibration() {
  if (!calibrationRequested_ || !havePicture_) return;
  calibrationRequested_ = false;
  if (const uint8_t* bits = fetched_.bgr()) ensureFisheye().calibrate(fetched_.header, bits);
}

void CImgDlg::stepFisheye(Canvas& canvas, const Rect& video) {
  if (!fisheyeActive()) return;
  if (fisheyeControl_->step(loop_.clock().tickCount(), video, &canvas)) redrawForced_ = true;
}

const Rect& CImgDlg::shownVideoRect() const {
  return fullScreen_ && fullScreenWindow_ ? fullScreenWindow_->viewFrame().videoRect()
                                          : viewFrame_.videoRect();
}

void CImgDlg::fisheyeButtonDown(int x, int y) {
  if (fisheyeActive())
    fisheyeControl_->buttonDown(x, y, shownVideoRect(), loop_.clock().tickCount());
}

void CImgDlg::fisheyeMove(int x, int y) {
  if (fisheyeActive() && fisheyeControl_->move(x, y, shownVideoRect())) redrawForced_ = true;
}

void CImgDlg::fisheyeWheel(int delta) {
  if (focused_ && delta != 0) fisheyeZoomStep(delta > 0 ? 1 : -1);
}

bool CImgDlg::fisheyeZoomStep(int sign) {
  if (!fisheyeActive()) return false;
  fisheyeControl_->wheel(sign);
  // The next draw applies the step and draws the new view, picture or not.
  redrawForced_ = true;
  return true;
}

CursorState CImgDlg::fisheyeCursor() const {
  return fisheyeActive() ? fisheyeControl_->cursor() : CursorState{};
}

}  // namespace vexa
