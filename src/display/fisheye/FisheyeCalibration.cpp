#include "display/fisheye/FisheyeCalibration.h"

#include <algorithm>

namespace vexa {

namespace {

constexpr uint8_t kBrightBlue = 64;
// Columns this close to the picture's sides are not trusted (lens flare, borders).
constexpr int kColumnMargin = 10;
// A column counts towards the centre when more than this many of its pixels are bright, and
// fewer than the picture height less this margin.
constexpr int kMinColumnCount = 11;
constexpr int kRowMargin = 10;

bool isBright(const uint8_t* bgr) {
  return bgr[0] > kBrightBlue;
}

}  // namespace

FisheyeCircle detectFisheyeCircle(const BITMAPINFOHEADER& header, const uint8_t* bits) {
  const int width = header.biWidth, height = header.biHeight;
  FisheyeCircle circle{width / 2, height / 2, 0};
  if (width <= 0 || height <= 0 || !bits) return circle;
  const size_t rowBytes = size_t(width) * kBytesPerPixel;
  auto pixel = [&](int column, int rowFromTop) {
    return bits + size_t(height - 1 - rowFromTop) * rowBytes + size_t(column) * kBytesPerPixel;
  };

  int widest = 0;
  int left = width;
  for (int row = 0; row < height; ++row) {
    int count = 0;
    for (int column = 0; column < width; ++column) {
      if (!isBright(pixel(column, row))) continue;
      ++count;
      left = std::min(left, column);
    }
    widest = std::max(widest, count);
  }
  if (widest == 0) return circle;
  circle.diameter = widest;
  circle.centreX = widest / 2 + left;

  int64_t meanSum = 0;
  int64_t meanCount = 0;
  for (int column = kColumnMargin; column <= width - 1 - kColumnMargin; ++column) {
    int64_t count = 0, rowSum = 0;
    for (int row = 0; row < height; ++row) {
      if (!isBright(pixel(column, row))) continue;
      ++count;
      rowSum += row;
    }
    if (count < kMinColumnCount || count >= height - kRowMargin) continue;
    const int64_t mean = rowSum / count;
    if (mean > 0) {
      meanSum += mean;
      ++meanCount;
    }
  }
  if (meanCount > 0) circle.centreY = int(meanSum / meanCount);
  return circle;
}

}  // namespace vexa
