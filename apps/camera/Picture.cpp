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
    // An odd height or width leaves the last blocks one row or column short.
    const bool twoRows = 2 * cy + 1 < picture.height;
    const uint8_t* top = picture.row(2 * cy);
    const uint8_t* bottom = twoRows ? picture.row(2 * cy + 1) : nullptr;
    uint8_t* blue = out.u.data() + size_t(cy) * size_t(cw);
    uint8_t* red = out.v.data() + size_t(cy) * size_t(cw);
    for (int cx = 0; cx < cw; ++cx) {
      const bool twoColumns = 2 * cx + 1 < picture.width;
      const int count = (twoRows ? 2 : 1) * (twoColumns ? 2 : 1);
      const size_t left = 6 * size_t(cx);
      int mean[3];
      for (size_t c = 0; c < 3; ++c) {
        int sum = top[left + c] + (twoColumns ? top[left + 3 + c] : 0);
        if (twoRows) sum += bottom[left + c] + (twoColumns ? bottom[left + 3 + c] : 0);
        mean[c] = (sum + count / 2) / count;
      }
      blue[cx] = blueDifferenceOf(mean[0], mean[1], mean[2]);
      red[cx] = redDifferenceOf(mean[0], mean[1], mean[2]);
    }
  }
  return out;
}

}  // namespace vexa::camera
