#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "display/fisheye/FisheyeEngine.h"
#include "media/PictureFormat.h"
#include "support/Picture.h"

namespace vexa::test {

// A bottom-up BGR picture with rows of exactly width x 3 bytes, held in a buffer of exactly
// that size so that the sanitizers see any read past it.
struct FisheyePicture {
  BITMAPINFOHEADER header;
  std::vector<uint8_t> bits;

  FisheyePicture(int width, int height)
      : header(makeBgrPictureHeader(width, height)), bits(size_t(width) * height * 3) {}
  uint8_t* pixel(int x, int storedRow) {
    return &bits[(size_t(storedRow) * header.biWidth + x) * 3];
  }
};

// Smooth colours, so that a one-pixel disagreement costs little.
inline FisheyePicture smoothPicture(int width, int height) {
  FisheyePicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = picture.pixel(x, y);
      p[0] = uint8_t(128 + 100 * std::sin(x / 37.0));
      p[1] = uint8_t(128 + 100 * std::cos(y / 29.0));
      p[2] = uint8_t(128 + 100 * std::sin((x + y) / 53.0));
    }
  }
  return picture;
}

// A bright disc of the given centre (rows from the top) and diameter on black.
inline FisheyePicture discPicture(int width, int height, int centreX, int centreY, int diameter) {
  FisheyePicture picture(width, height);
  const double r = diameter / 2.0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x + 0.5 - centreX, dy = y + 0.5 - centreY;
      if (dx * dx + dy * dy > r * r) continue;
      uint8_t* p = picture.pixel(x, height - 1 - y);
      p[0] = 200;
      p[1] = 120;
      p[2] = 60;
    }
  }
  return picture;
}

inline FisheyeEngine engineIn(const char* mode, Rect video = {0, 0, 640, 480}) {
  FisheyeEngine engine;
  engine.setModeFromText(mode);
  engine.setWindowVideoRect(video);
  return engine;
}

struct Dewarped {
  bool ok = false;
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> bits;
};

// Into a buffer of exactly the size the engine plans, so that a write past it is caught.
inline Dewarped dewarp(FisheyeEngine& engine, const FisheyePicture& picture) {
  Dewarped out;
  const FisheyeEngine::OutputPlan plan = engine.planOutput(kDisplayPictureBytes);
  out.bits.resize(std::max<size_t>(1, size_t(plan.width) * size_t(plan.height) * 3));
  out.ok = engine.dewarp(picture.header, picture.bits.data(), out.bits.data(), out.bits.size(),
                         out.header);
  return out;
}

}  // namespace vexa::test
