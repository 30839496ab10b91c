#pragma once

#include <cstdint>

#include "camera/Picture.h"

namespace vexa::camera {

struct PictureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Deterministic moving test pictures: colour bars over a grey ramp, a box that bounces across the
// bars, and the frame number in seven-segment digits. Areas are large and flat so that a JPEG of
// the picture stays close to it.
class PictureGenerator {
 public:
  static constexpr int kDigitCount = 6;

  PictureGenerator(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // The same index always gives the same picture.
  void render(uint32_t index, BgrPicture& out) const;
  BgrPicture bgrFrame(uint32_t index) const;
  YuvPicture yuvFrame(uint32_t index) const;

  // Where the moving box lies in picture index.
  PictureRect movingBox(uint32_t index) const;
  // The panel that holds the frame number.
  PictureRect counterPanel() const;

 private:
  struct CounterLayout {
    PictureRect panel;
    int digitWidth = 0;
    int digitHeight = 0;
    int gap = 0;
    int thickness = 0;
  };

  CounterLayout counterLayout() const;
  void drawBackground(BgrPicture& out) const;
  void drawCounter(uint32_t index, BgrPicture& out) const;

  int width_;
  int height_;
  int barsBottom_;
};

}  // namespace vexa::camera
