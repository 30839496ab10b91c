// Camera JPEG pictures to the display's BGR: MjpegDecoder::Decode as the display calls it, into a
// picture buffer of the display's size. Several pictures back to back are allowed: the decoder
// tries the next when one yields nothing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/MjpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> image(vexa::kDisplayPictureBytes);  // the display's, reused
  if (size > size_t(vexa::MjpegDecoder::kMaxJpegBytes)) return 0;
  vexa::MjpegDecoder decoder;
  if (!decoder.Open()) return 0;
  vexa::BITMAPINFOHEADER info{};
  if (decoder.Decode(int(size), data, image.data(), &info) != 0) return 0;
  // A picture written is one the buffer holds, described as written.
  if (info.biWidth <= 0 || info.biHeight <= 0 ||
      size_t(info.biWidth) * size_t(info.biHeight) * vexa::kBytesPerPixel != info.biSizeImage ||
      info.biSizeImage > vexa::kDisplayPictureBytes) {
    __builtin_trap();
  }
  return 0;
}
