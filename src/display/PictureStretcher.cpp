#include "display/PictureStretcher.h"

#include <cstring>

#include "display/WideLoad.h"

namespace vexa {

namespace {
uint32_t pixelAt(const uint8_t* bgr) {
  return (uint32_t(bgr[2]) << 16) | (uint32_t(bgr[1]) << 8) | bgr[0];
}
}  // namespace

void PictureStretcher::buildTables(const Geometry& g) {
  const size_t rowBytes = size_t(g.pictureWidth) * kBytesPerPixel;
  columnOffsets_.resize(size_t(g.visible.width));
  wideLoadColumns_ = 0;
  for (int x = 0; x < g.visible.width; ++x) {
    const int64_t destX = g.visible.x - g.destination.x + x;
    const int64_t sourceX = g.source.x + destX * g.source.width / g.destination.width;
    columnOffsets_[size_t(x)] = uint32_t(sourceX * kBytesPerPixel);
    if (wideLoadFits(size_t(sourceX) * kBytesPerPixel, rowBytes)) wideLoadColumns_ = size_t(x) + 1;
  }
  rowOffsets_.resize(size_t(g.visible.height));
  for (int y = 0; y < g.visible.height; ++y) {
    const int64_t destY = g.visible.y - g.destination.y + y;
    const int64_t sourceY = g.source.y + destY * g.source.height / g.destination.height;
    // Bottom row first in memory.
    rowOffsets_[size_t(y)] = size_t(g.pictureHeight - 1 - sourceY) * rowBytes;
  }
  geometry_ = g;
  haveTables_ = true;
}

void PictureStretcher::stretch(const BITMAPINFOHEADER& header, const uint8_t* bits,
                               const Rect& source, const Rect& destination, const Rect& visible,
                               uint8_t* target, size_t stride) {
  const Geometry geometry{header.biWidth, header.biHeight, source, destination, visible};
  if (!haveTables_ || !(geometry == geometry_)) buildTables(geometry);

  const uint32_t* columns = columnOffsets_.data();
  const size_t width = columnOffsets_.size();
  for (size_t y = 0; y < rowOffsets_.size(); ++y) {
    auto* out = reinterpret_cast<uint32_t*>(target + (size_t(visible.y) + y) * stride) + visible.x;
    if (y > 0 && rowOffsets_[y] == rowOffsets_[y - 1]) {
      // Enlarging: the same picture row again.
      std::memcpy(out, reinterpret_cast<const uint8_t*>(out) - stride, width * sizeof(uint32_t));
      continue;
    }
    const uint8_t* row = bits + rowOffsets_[y];
    size_t x = 0;
    for (; x < wideLoadColumns_; ++x) {
      out[x] = loadWide(row + columns[x]) &
               0x00FFFFFFu;  // bytes B, G, R land as 0x00RRGGBB on little-endian hosts
    }
    for (; x < width; ++x) out[x] = pixelAt(row + columns[x]);
  }
}

}  // namespace vexa
