#pragma once

#include <cstdint>
#include <vector>

#include "camera/Picture.h"
#include "camera/PtzView.h"

namespace vexa::camera {

struct PictureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Deterministic moving test pictures: colour bars over a grey ramp, a box that bounces across the
// bars, and the frame number in seven-segment digits. Areas are large and flat so that a JPEG of
// the picture stays close to it. That picture is the home of a scene of 4 x 3 pictures, the
// others flat tiles of distinct colours, which a pan/tilt/zoom view shows part of; the counter
// stays where it is whatever the view.
class PictureGenerator {
 public:
  static constexpr int kDigitCount = 6;

  PictureGenerator(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // The same index always gives the same picture.
  void render(uint32_t index, BgrPicture& out) const;
  // What the view (in scene pixels) shows, scaled to the picture's size; render()'s picture
  // when the view is the home picture.
  void renderView(uint32_t index, const ViewRect& view, BgrPicture& out);
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
  void drawScene(const ViewRect& view, BgrPicture& out);

  int width_;
  int height_;
  int barsBottom_;
  BgrPicture home_;                // the home picture without its counter
  std::vector<int> sceneColumns_;  // per column of the view: scene x
};

}  // namespace vexa::camera
