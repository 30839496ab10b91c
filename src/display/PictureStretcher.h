#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/Canvas.h"
#include "display/ColumnPick.h"
#include "display/PictureTint.h"
#include "media/BgrConverter.h"
#include "media/PictureFormat.h"

struct AVFrame;

namespace vexa {

// Maps a rectangle of a picture onto a rectangle of 32-bit 0x00RRGGBB pixels, by nearest
// neighbour through per-geometry tables of offsets. This is the whole cost of drawing a new
// picture, so it is chosen for speed: no filtering.
class PictureStretcher {
 public:
  PictureStretcher();
  ~PictureStretcher();
  PictureStretcher(const PictureStretcher&) = delete;
  PictureStretcher& operator=(const PictureStretcher&) = delete;

  // From a bottom-up BGR24 picture: one 4-byte load and one store per pixel.
  // Writes the visible part (destination coordinates clipped to the target) of source, scaled to
  // destination, into target rows stride bytes apart. Rows of the picture are width x 3 bytes.
  // A tint blends the pixels drawn from the picture pixels it covers, exactly as if the picture
  // had been tinted before, while each row is still in the cache.
  void stretch(const BITMAPINFOHEADER& header, const uint8_t* bits, const Rect& source,
               const Rect& destination, const Rect& visible, uint8_t* target, size_t stride,
               const PictureTint* tint = nullptr);
  // The same from a decoder's planes (8-bit YUV of any chroma subsampling, or grey): the samples
  // are picked at the size shown and only those converted, so a picture larger than the window
  // costs little more than the window. Chroma is picked once per two by two pixels shown. False,
  // nothing drawn, for other formats.
  bool stretchPlanes(const AVFrame& picture, const Rect& source, const Rect& destination,
                     const Rect& visible, uint8_t* target, size_t stride,
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
  void blendTintSpans(const PictureTint& tint, uint8_t* target, size_t stride, const Rect& visible);
  void pickSamples(const AVFrame& picture, int chromaShiftX, int chromaShiftY);

  Geometry geometry_;
  bool haveTables_ = false;
  std::vector<uint32_t> columnOffsets_;  // byte offset within a picture row, per visible column
  std::vector<size_t> rowOffsets_;       // byte offset of the picture row, per visible row
  std::vector<int> sourceColumns_;       // the picture column, per visible column
  std::vector<int> sourceRows_;          // the picture row (from the top), per visible row
  std::vector<Span> tintSpans_;
  size_t wideLoadColumns_ = 0;           // leading columns whose 4-byte load stays in the row

  ColumnPick lumaPick_;
  ColumnPick chromaPick_;  // per shown chroma column, for chromaPickShift_
  static constexpr int kNoChromaPick = -1;
  int chromaPickShift_ = kNoChromaPick;
  AVFrame* picked_;  // the samples shown, 4:2:0 at the visible size
  BgrConverter pickedConverter_;
};

}  // namespace vexa
