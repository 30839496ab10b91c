#pragma once

#include <cstdint>

#include "media/PictureFormat.h"

namespace vexa {

// The lens circle found in a picture, in picture pixels (rows counted from the top).
struct FisheyeCircle {
  int centreX = 0;
  int centreY = 0;
  int diameter = 0;
  bool operator==(const FisheyeCircle&) const = default;
};

// Finds the bright disc of a fisheye picture (bottom-up BGR rows of exactly width x 3 bytes): a
// pixel is bright when its blue byte is above 64. With no bright pixel at all the result is the
// picture's middle with diameter 0.
FisheyeCircle detectFisheyeCircle(const BITMAPINFOHEADER& header, const uint8_t* bits);

}  // namespace vexa
