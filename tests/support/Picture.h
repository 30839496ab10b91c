#pragma once

// Pictures in the form every decoder hands on (bottom-up BGR, rows of exactly width x 3 bytes)
// and comparisons with top-down references.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <vector>

#include "media/PictureFormat.h"

namespace vexa::test {

// Row order reversed: bottom-up to top-down and back.
inline std::vector<uint8_t> flipRows(const uint8_t* rows, int width, int height) {
  const size_t rowBytes = size_t(width) * 3;
  std::vector<uint8_t> flipped(rowBytes * size_t(height));
  for (int y = 0; y < height; ++y)
    std::copy_n(rows + size_t(height - 1 - y) * rowBytes, rowBytes, &flipped[y * rowBytes]);
  return flipped;
}

// Mean absolute difference per byte; infinite when the sizes differ.
inline double meanAbsoluteError(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  if (a.size() != b.size() || a.empty()) return INFINITY;
  uint64_t total = 0;
  for (size_t i = 0; i < a.size(); ++i) total += uint64_t(std::abs(a[i] - b[i]));
  return double(total) / double(a.size());
}

// Peak signal to noise ratio in dB; infinite for equal pictures, 0 when the sizes differ.
inline double psnr(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) squares += double(a[i] - b[i]) * double(a[i] - b[i]);
  if (squares == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / squares);
}

// The largest difference of two bytes at the same place; 256 when the sizes differ.
inline int largestDifference(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

struct Picture {
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> bits;

  // Horizontal bands of equal height, top to bottom as shown; colours as 0x00RRGGBB.
  static Picture bands(int width, int height, std::initializer_list<uint32_t> colours) {
    Picture picture{makeBgrPictureHeader(width, height), {}};
    picture.bits.resize(size_t(width) * height * 3);
    for (int row = 0; row < height; ++row)
      picture.setRowFromTop(row, colours.begin()[row * int(colours.size()) / height]);
    return picture;
  }
  static Picture solid(int width, int height, uint32_t rgb) { return bands(width, height, {rgb}); }

  void setRowFromTop(int row, uint32_t rgb) {
    const int width = header.biWidth;
    uint8_t* at = bits.data() + size_t(header.biHeight - 1 - row) * width * 3;
    for (int x = 0; x < width; ++x) {
      at[3 * x] = uint8_t(rgb);
      at[3 * x + 1] = uint8_t(rgb >> 8);
      at[3 * x + 2] = uint8_t(rgb >> 16);
    }
  }
  std::vector<uint8_t> topDown() const {
    return flipRows(bits.data(), header.biWidth, header.biHeight);
  }
};

}  // namespace vexa::test
