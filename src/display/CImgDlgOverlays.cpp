// The video window's overlays: client masks painted into the picture before it is drawn.
#include <cstdlib>
#include <cstring>

#include "display/CImgDlg.h"

namespace vexa {

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

const uint8_t* CImgDlg::paintClientMasks(const BITMAPINFOHEADER& header, const uint8_t* bits,
                                         PictureLease& lease) {
  if (!clientMasks_.active() || header.biWidth <= 0 || header.biHeight <= 0) return bits;
  // The MPEG-4 and JPEG paths decode into the window's own picture; a lent one is copied.
  uint8_t* own = picture_.get();
  if (bits != own) {
    // Pictures above the window's own buffers are beyond what masks are painted on anyway.
    const size_t bytes = size_t(header.biWidth) * size_t(header.biHeight) * kBytesPerPixel;
    if (bytes > kDisplayPictureBytes) return bits;
    if (!maskedPicture_) maskedPicture_ = std::make_unique<uint8_t[]>(kDisplayPictureBytes);
    own = maskedPicture_.get();
    std::memcpy(own, bits, bytes);
    lease = {};
  }
  clientMasks_.apply(own, header.biWidth, header.biHeight);
  return own;
}

}  // namespace vexa
