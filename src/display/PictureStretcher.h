#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/Canvas.h"
#include "display/PictureTint.h"
#include "media/PictureFormat.h"

namespace vexa {

// Maps a rectangle of a bottom-up BGR24 picture onto a rectangle of 32-bit 0x00RRGGBB pixels, by
// nearest neighbour through per-geometry tables of offsets. This is the whole cost of drawing a
// new picture, so it is chosen for speed: one 4-byte load and one store per pixel, no filtering.
class PictureStretcher {
 public:
  // Writes the visible part (destination coordinates clipped to the target) of source, scaled to
  // destination, into target rows stride bytes apart. Rows of the picture are width x 3 bytes.
  // A tint blends the pixels drawn from the picture pixels it covers, exactly as if the picture
  // had been tinted before, while each row is still in the cache.
  void stretch(const BITMAPINFOHEADER& header, const uint8_t* bits, const Rect& source,
               const Rect& destination, const Rect& visible, uint8_t* target, size_t stride,
               const PictureTint* tint = nullptr);

 private:
  struct Geometry {
    int pictureWidth = 0;
    int pictureHeight = 0;
    Rect source;
    Rect destination;
    Rect visible;
    bool operator==(const Geometry&) const = default;
  };

  void buildTables(const Geometry& geometry);
  // The visible columns [first, end) of each visible row a tint covers, in row order.
  struct Span {
    size_t row;
    size_t first;
    size_t end;
  };
  void findTintSpans(const PictureTint& tint);

  Geometry geometry_;
  bool haveTables_ = false;
  std::vector<uint32_t> columnOffsets_;  // byte offset within a picture row, per visible column
  std::vector<size_t> rowOffsets_;       // byte offset of the picture row, per visible row
  std::vector<int> sourceRows_;          // the picture row (from the top), per visible row
  std::vector<Span> tintSpans_;
  size_t wideLoadColumns_ = 0;           // leading columns whose 4-byte load stays in the row
};

}  // namespace vexa
