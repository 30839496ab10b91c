#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa::camera {

// 24-bit BGR, top row first, rows of exactly width x 3 bytes.
struct BgrPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  uint8_t* row(int y) { return pixels.data() + size_t(y) * size_t(width) * 3; }
  const uint8_t* row(int y) const { return pixels.data() + size_t(y) * size_t(width) * 3; }
};

// Planar YUV 4:2:0 in full (JPEG) range; chroma planes are half size, rounded up.
struct YuvPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y;
  std::vector<uint8_t> u;
  std::vector<uint8_t> v;

  int chromaWidth() const { return (width + 1) / 2; }
  int chromaHeight() const { return (height + 1) / 2; }
};

// Full-range BT.601 conversion as JFIF defines it; chroma is the mean of each 2x2 block.
YuvPicture toYuv420(const BgrPicture& picture);

}  // namespace vexa::camera
