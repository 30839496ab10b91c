#include "camera/Picture.h"

#include <algorithm>

namespace vexa::camera {
namespace {

// JFIF coefficients scaled by 2^16.
constexpr int kShift = 16;
constexpr int kHalf = 1 << (kShift - 1);
constexpr int kChromaOffset = 128 << kShift;

uint8_t clampByte(int value) {
  return uint8_t(std::clamp(value, 0, 255));
}

uint8_t lumaOf(int b, int g, int r) {
  return clampByte((19595 * r + 38470 * g + 7471 * b + kHalf) >> kShift);
}
uint8_t blueDifferenceOf(int b, int g, int r) {
  return clampByte((-11059 * r - 21709 * g + 32768 * b + kChromaOffset + kHalf) >> kShift);
}
uint8_t redDifferenceOf(int b, int g, int r) {
  return clampByte((32768 * r - 27439 * g - 5329 * b + kChromaOffset + kHalf) >> kShift);
}

}  // namespace

YuvPicture toYuv420(const BgrPicture& picture) {
  YuvPicture out;
  out.width = picture.width;
  out.height = picture.height;
  const int cw = out.chromaWidth();
  const int ch = out.chromaHeight();
  out.y.resize(size_t(picture.width) * size_t(picture.height));
  out.u.resize(size_t(cw) * size_t(ch));
  out.v.resize(out.u.size());

  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* source = picture.row(y);
    uint8_t* luma = out.y.data() + size_t(y) * size_t(picture.width);
    for (int x = 0; x < picture.width; ++x) {
      luma[x] = lumaOf(source[3 * x], source[3 * x + 1], source[3 * x + 2]);
    }
  }
  for (int cy = 0; cy < ch; ++cy) {
    for (int cx = 0; cx < cw; ++cx) {
      int sum[3] = {0, 0, 0};
      int count = 0;
      for (int y = 2 * cy; y < std::min(2 * cy + 2, picture.height); ++y) {
        for (int x = 2 * cx; x < std::min(2 * cx + 2, picture.width); ++x) {
          const uint8_t* pixel = picture.row(y) + 3 * x;
          for (int c = 0; c < 3; ++c) sum[c] += pixel[c];
          ++count;
        }
      }
      const int b = (sum[0] + count / 2) / count;
      const int g = (sum[1] + count / 2) / count;
      const int r = (sum[2] + count / 2) / count;
      out.u[size_t(cy) * size_t(cw) + size_t(cx)] = blueDifferenceOf(b, g, r);
      out.v[size_t(cy) * size_t(cw) + size_t(cx)] = redDifferenceOf(b, g, r);
    }
  }
  return out;
}

}  // namespace vexa::camera
