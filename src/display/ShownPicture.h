#pragma once

#include <cstdint>

#include "media/PictureExchange.h"
#include "media/PictureFormat.h"

namespace vexa {

// A picture a window shows: a decoder's lent picture, or BGR of the window's own (a copy, a
// dewarped view). A lent picture's BGR is made only when something asks for it.
struct ShownPicture {
  BITMAPINFOHEADER header{};
  const uint8_t* ownBits = nullptr;  // when nothing is lent
  PictureLease lease;

  // Bottom-up BGR, rows of width x 3 bytes; null when there is none.
  const uint8_t* bgr() const { return lease ? lease.bits() : ownBits; }
  // The decoder's planes, when the picture has them.
  const AVFrame* planes() const { return lease ? lease.frame() : nullptr; }
  bool empty() const { return !lease && ownBits == nullptr; }
};

}  // namespace vexa
