// The video window's overlays: the camera's motion windows, privacy masks and regions of
// interest drawn over the picture, and client masks blended into it as it is drawn.
#include <cstdlib>
#include <cstring>

#include "display/CImgDlg.h"
#include "display/overlay/OverlayDrawing.h"

namespace vexa {

void CImgDlg::AddMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                      int32_t height) {
  overlays_.addMask(name, x, y, width, height);
  redrawForced_ = true;
}

void CImgDlg::AddMotionByName(const std::string& name, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2) {
  overlays_.addMotionByName(name, x1, y1, x2, y2);
  redrawForced_ = true;
}

int CImgDlg::AddMotion(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  overlays_.addMotion(x1, y1, x2, y2);
  redrawForced_ = true;
  return 1;
}

void CImgDlg::AddRoi(const std::string& name, int32_t x, int32_t y, int32_t width,
                     int32_t height, int32_t aspectX, int32_t aspectY, int32_t minWidth,
                     int32_t minHeight) {
  overlays_.addRoi(name, x, y, width, height, aspectX, aspectY, minWidth, minHeight);
  redrawForced_ = true;
}

void CImgDlg::RemoveMask(const std::string& name) {
  if (overlays_.removeByName(name)) redrawForced_ = true;
}
void CImgDlg::RemoveMotionByName(const std::string& name) {
  RemoveMask(name);
}
void CImgDlg::RemoveRoi(const std::string& name) {
  RemoveMask(name);
}

int CImgDlg::RemoveMotion() {
  if (overlays_.removeFront()) redrawForced_ = true;
  return 1;
}

int CImgDlg::GetMotionPoint(int32_t index, int32_t which) const {
  return overlays_.motionPoint(index, which);
}
int CImgDlg::GetMaskPoint(const std::string& name, int32_t which) const {
  return overlays_.pointByName(name, which);
}
int CImgDlg::GetMotionPointByName(const std::string& name, int32_t which) const {
  return overlays_.pointByName(name, which);
}
int CImgDlg::GetRoiPoint(const std::string& name, int32_t which) const {
  return overlays_.pointByName(name, which);
}

void CImgDlg::AdjustMotion() {
  overlays_.adjustMotion();
  redrawForced_ = true;
}

void CImgDlg::SetModel(const std::string& model) {
  model_ = model;
  ptz_.SetModel(model);
  describeCamera();
}
void CImgDlg::SetSensor(const std::string& sensor) {
  sensor_ = sensor;
  describeCamera();
}
void CImgDlg::SetWebVersion(const std::string& version) {
  webVersion_ = version;
  describeCamera();
}

void CImgDlg::describeCamera() {
  overlays_.setDescription(model_, sensor_, resolution_, webVersion_);
  redrawForced_ = true;
}

bool CImgDlg::overlayButtonDown(int x, int y) {
  // In centre mode a click aims the camera.
  if (ptz_.centreMode() || !overlayEditor_.buttonDown(x, y)) return false;
  redrawForced_ = true;
  return true;
}

bool CImgDlg::overlayMove(int x, int y) {
  overlayEditor_.move(x, y);
  if (!overlayEditor_.dragging()) return false;
  redrawForced_ = true;
  return true;
}

CursorShape CImgDlg::overlayCursor() const {
  switch (overlayEditor_.cursor()) {
    case OverlayCursor::kSizeNS:
      return CursorShape::kSizeNS;
    case OverlayCursor::kSizeWE:
      return CursorShape::kSizeWE;
    case OverlayCursor::kSizeNESW:
      return CursorShape::kSizeNESW;
    case OverlayCursor::kSizeNWSE:
      return CursorShape::kSizeNWSE;
    default:
      return CursorShape::kArrow;
  }
}

// The outlines follow the picture's size and where the window shows it.
void CImgDlg::drawOverlayOutlines() {
  if (overlays_.elements().empty()) return;
  overlays_.updateGeometry(fetched_.header.biWidth, fetched_.header.biHeight,
                           viewFrame_.videoRect());
  drawOverlays(overlays_, viewFrame_.canvas());
}

void CImgDlg::AddClientMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                            int32_t height) {
  clientMasks_.add(name, x, y, width, height);
}

int CImgDlg::RemoveClientMask(const std::string& name) {
  clientMasks_.remove(name);
  return 1;
}

void CImgDlg::SetClientMaskColor(int32_t red, int32_t green, int32_t blue, double alpha) {
  clientMasks_.setColour(red, green, blue, alpha);
}

const PictureTint* CImgDlg::clientMaskTint() {
  // A dewarped picture is no longer the camera's: its masks were painted before the dewarp.
  if (dewarpedShown_) return nullptr;
  return clientMasks_.tintFor(drawn_.header.biWidth, drawn_.header.biHeight);
}

const uint8_t* CImgDlg::maskedCopy(const BITMAPINFOHEADER& header, const uint8_t* bits) {
  const size_t bytes = size_t(header.biWidth) * size_t(header.biHeight) * kBytesPerPixel;
  if (bits == nullptr || bytes > kDisplayPictureBytes) return bits;
  if (!maskedPicture_) maskedPicture_ = std::make_unique<uint8_t[]>(kDisplayPictureBytes);
  std::memcpy(maskedPicture_.get(), bits, bytes);
  clientMasks_.apply(maskedPicture_.get(), header.biWidth, header.biHeight);
  return maskedPicture_.get();
}

}  // namespace vexa
