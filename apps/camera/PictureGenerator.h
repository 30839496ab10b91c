#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "camera/FisheyeScene.h"
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
// stays where it is whatever the view. With a fisheye, what a stream shows lies on the floor of a
// room seen through the lens.
class PictureGenerator {
 public:
  static constexpr int kDigitCount = 6;

  PictureGenerator(int width, int height, const std::optional<FisheyeSettings>& fisheye = {});

  int width() const { return width_; }
  int height() const { return height_; }

  // The same index always gives the same picture.
  void render(uint32_t index, BgrPicture& out) const;
  // What the view (in scene pixels) shows, scaled to the picture's size; render()'s picture
  // when the view is the home picture.
  void renderView(uint32_t index, const ViewRect& view, BgrPicture& out);
  // What a stream shows: the view when there is one, else the home picture; through the fisheye
  // when the generator has one.
  void renderShown(uint32_t index, const std::optional<ViewRect>& view, BgrPicture& out);
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
  std::unique_ptr<FisheyeScene> fisheye_;
  BgrPicture floor_;  // what the fisheye sees on the floor
};

}  // namespace vexa::camera
