#include "viewer/CanvasImage.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "display/Canvas.h"
#include "record/ImageEncoder.h"
#include "record/Snapshot.h"

namespace vexa::viewer {
namespace {

constexpr size_t kCanvasBytesPerPixel = 4;

// The encoders take bottom-up BGR24 rows; a canvas holds top-down B, G, R, unused.
std::vector<uint8_t> bottomUpBgr(const Canvas& canvas) {
  const size_t width = size_t(canvas.width());
  std::vector<uint8_t> pixels(width * size_t(canvas.height()) * kBytesPerPixel);
  const uint8_t* rows = canvas.data();
  for (int y = 0; y < canvas.height(); ++y) {
    const uint8_t* from = rows + size_t(y) * size_t(canvas.stride());
    uint8_t* to = pixels.data() + size_t(canvas.height() - 1 - y) * width * kBytesPerPixel;
    for (size_t x = 0; x < width; ++x) {
      std::copy_n(from + x * kCanvasBytesPerPixel, kBytesPerPixel, to + x * kBytesPerPixel);
    }
  }
  return pixels;
}

}  // namespace

bool saveCanvasImage(const Canvas& canvas, const std::string& path) {
  const std::optional<ImageFormat> format = imageFormatForFileName(path);
  if (!format || canvas.width() <= 0 || canvas.height() <= 0) return false;
  const BITMAPINFOHEADER header = makeBgrPictureHeader(canvas.width(), canvas.height());
  const std::vector<uint8_t> pixels = bottomUpBgr(canvas);
  const std::vector<uint8_t> file = *format == ImageFormat::kBmp
                                        ? makeBitmapFile(header, pixels.data())
                                        : encodeImage(*format, header, pixels.data());
  if (file.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  out.close();
  return bool(out);
}

}  // namespace vexa::viewer
