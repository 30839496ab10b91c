#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display/PictureTint.h"

namespace vexa {

// Rectangles the viewer itself paints over every picture in one colour and opacity, whatever the
// camera masks. They are placed in an 80 x 60 unit space laid over the picture and painted in
// whole 16 x 16 pixel cells.
class ClientMasks {
 public:
  static constexpr int kSpaceWidth = 80;
  static constexpr int kSpaceHeight = 60;
  static constexpr int kCellPixels = 16;
  // Cells of the largest picture the window takes (2048 x 1536).
  static constexpr int kMaxCellsAcross = 128;
  static constexpr int kMaxCellsDown = 96;
  static constexpr size_t kMaxMasks = 256;
  static constexpr size_t kMaxNameBytes = 256;
  static constexpr int kFullOpacity = 100;

  // Clamped into the unit space. False, with nothing changed, beyond the caps.
  bool add(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height);
  // The first mask of that name, if any.
  void remove(const std::string& name);
  // Each channel clamped to 0..255; alpha 0..1 (NaN as 0) becomes the opacity in percent.
  void setColour(int32_t red, int32_t green, int32_t blue, double alpha);

  // 0x00BBGGRR, as the colour is given.
  uint32_t colour() const { return colour_; }
  int opacity() const { return opacity_; }
  size_t size() const { return masks_.size(); }
  // Whether pictures need painting at all.
  bool active() const { return !masks_.empty() && opacity_ > 0; }

  // The masks over a width x height picture as the canvas blends them while drawing it (the
  // picture itself stays as it is); null when nothing is painted on it. A partial cell at the
  // right or bottom edge counts as a whole one.
  const PictureTint* tintFor(int width, int height);
  // Paints the masks into a bottom-up BGR picture with rows of exactly width x 3 bytes: what
  // tintFor shows, for snapshots and dewarping.
  void apply(uint8_t* bits, int width, int height);

 private:
  struct Mask {
    std::string name;
    int x, y, width, height;
  };
  // Columns [first, end) of cells painted in one row of cells.
  struct Run {
    int row;
    int first;
    int end;
  };

  // False when the picture is beyond the cells masks are painted on.
  bool prepare(int width, int height);
  void rebuildRuns(int cellsAcross, int cellsDown);
  void rebuildBlend();

  std::vector<Mask> masks_;
  uint32_t colour_ = 0;
  int opacity_ = kFullOpacity;
  std::vector<Run> runs_;
  int cellsAcross_ = 0;
  int cellsDown_ = 0;
  bool runsStale_ = true;
  // Each byte's value blended with the colour, per channel in picture order (blue, green, red).
  std::array<std::array<uint8_t, 256>, 3> blend_{};
  bool blendStale_ = true;
  PictureTint tint_;
  int tintWidth_ = 0;
  int tintHeight_ = 0;
  bool tintStale_ = true;
};

}  // namespace vexa
