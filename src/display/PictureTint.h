#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "display/Canvas.h"

namespace vexa {

// Parts of a picture blended with one colour as it is drawn, leaving the picture itself as the
// decoder made it: each byte v of a covered pixel becomes (keep * v + add) / kWhole.
struct PictureTint {
  static constexpr int kWhole = 100;
  std::vector<Rect> areas;  // picture pixels, rows counted from the top
  int keep = kWhole;
  std::array<int, 3> add{};  // per byte of a pixel: blue, green, red
  uint64_t version = 0;      // changes whenever anything above does
};

}  // namespace vexa
