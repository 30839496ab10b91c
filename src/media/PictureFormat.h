#pragma once

#include <cstddef>
#include <cstdint>

namespace vexa {

// The one picture format every decoder hands on: 24-bit BGR, rows of exactly width x 3 bytes,
// bottom row first, described by a Windows bitmap header.
#pragma pack(push, 1)
struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  uint32_t bmiColors[1];
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPINFO) == 44);

constexpr uint32_t BI_RGB = 0;
constexpr int kBytesPerPixel = 3;

// A picture's size as a stream's description or configuration states it.
struct PictureSize {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const PictureSize&) const = default;
};

// The largest picture the display accepts.
constexpr int kMaxDisplayWidth = 2048;
constexpr int kMaxDisplayHeight = 1536;
constexpr size_t kDisplayPictureBytes = size_t(kMaxDisplayWidth) * kMaxDisplayHeight * 3;  // 9,437,184
// The decoded-frame pictures of the H.264 path.
constexpr size_t kDecodedFrameBytes = 60466176;

// A header for a bottom-up BGR picture of the given size.
constexpr BITMAPINFOHEADER makeBgrPictureHeader(int32_t width, int32_t height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = uint32_t(width) * uint32_t(height) * kBytesPerPixel;
  return header;
}

// Row stride of a Windows DIB: width x 3 rounded up to a multiple of 4.
constexpr size_t dibStride(int32_t width) { return (size_t(width) * 3 + 3) & ~size_t(3); }

}  // namespace vexa
