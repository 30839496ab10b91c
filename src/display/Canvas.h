#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/ShownPicture.h"
#include "media/PictureFormat.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace vexa {

class PictureStretcher;

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int right() const { return x + width; }
  int bottom() const { return y + height; }
  bool empty() const { return width <= 0 || height <= 0; }
  bool operator==(const Rect&) const = default;
};

// A window's drawing surface: a 32-bit Cairo image surface (pixels 0x00RRGGBB in native words).
// Colours given to it are Windows colour values, 0x00BBGGRR.
struct PictureTint;

class Canvas {
 public:
  Canvas(int width, int height);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  virtual ~Canvas();

  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return stride_; }
  // Pixel rows top-down, stride() bytes apart; bytes B, G, R, unused on little-endian hosts.
  const uint8_t* data() const;
  uint8_t* data();

  void fillRect(const Rect& rect, uint32_t colorRef);
  // A line of the given pen width centred on the segment, butt ends, no antialiasing.
  void drawLine(int x1, int y1, int x2, int y2, int penWidth, uint32_t colorRef);
  // Connected segments through points, with the same pen rules as drawLine.
  struct Point {
    int x = 0;
    int y = 0;
  };
  void drawPolyline(const std::vector<Point>& points, int penWidth, uint32_t colorRef);
  // A closed outline through points, 1 px pen.
  void drawPolygon(const std::vector<Point>& points, uint32_t colorRef);
  // A disc of the given radius around (cx, cy).
  void fillCircle(int cx, int cy, int radius, uint32_t colorRef);
  // Text with its top-left corner at (x, y), transparent background.
  void drawText(int x, int y, const std::string& text, uint32_t colorRef, int pixelHeight = 12);

  // Stretches source (top-down picture coordinates) of a bottom-up BGR24 picture into destination.
  // Rows of the picture are exactly width x 3 bytes, as the decoders write them. pictureId names
  // the picture's content: drawing the same id, source and destination again costs nothing while
  // nothing else was drawn over it.
  // A tint, when given, is blended over the parts of the picture it covers as they are drawn.
  void drawPicture(const BITMAPINFOHEADER& header, const uint8_t* bits, uint64_t pictureId,
                   const Rect& source, const Rect& destination,
                   const PictureTint* tint = nullptr);

  // The same for a shown picture: painted straight from its planes when it has them, so that its
  // full-size BGR is never made for the window.
  void drawPicture(const ShownPicture& picture, uint64_t pictureId, const Rect& source,
                   const Rect& destination, const PictureTint* tint = nullptr);

  // 0x00RRGGBB; 0 outside the canvas.
  uint32_t pixel(int x, int y) const;
  // How many times drawPicture actually stretched a picture.
  uint64_t stretchCount() const { return stretchCount_; }

  // Cairo drawing the methods above do not cover (overlays); the picture counts as drawn over.
  cairo_t* context() {
    pictureIntact_ = false;
    return cairo_;
  }

 private:
  struct PictureKey {
    const uint8_t* bits = nullptr;
    uint64_t pictureId = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    Rect source;
    Rect destination;
    uint64_t tintVersion = 0;
    bool operator==(const PictureKey&) const = default;
  };

  void setColour(uint32_t colorRef);
  void strokePath(const std::vector<Point>& points, bool closed, int penWidth, uint32_t colorRef);
  static Rect boundsOf(const std::vector<Point>& points, int reach);
  // The parts of a picture's source and destination that are drawn; false when none is.
  bool clip(int pictureWidth, int pictureHeight, const Rect& source, const Rect& destination,
            Rect* from, Rect* visible) const;
  void pictureDrawn(const PictureKey& key, const Rect& visible);
  // Something was drawn over area: the picture there must be stretched again.
  void touched(const Rect& area);

  int width_;
  int height_;
  int stride_;
  cairo_surface_t* surface_;
  cairo_t* cairo_;

  std::unique_ptr<PictureStretcher> stretcher_;
  PictureKey shownPicture_;
  bool pictureIntact_ = false;
  uint64_t stretchCount_ = 0;
};

}  // namespace vexa
