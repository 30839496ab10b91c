#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "camera/FisheyeLens.h"
#include "camera/Picture.h"

namespace vexa::camera {

// A room seen from the middle of its ceiling through a 180 degree fisheye looking straight down:
// a picture stretched over the floor, and walls with a grid of straight lines, so that a dewarped
// view can be checked for straightness. Black outside the circle; every colour inside has a blue
// byte of at least kMinBlue, so a brightness threshold on blue finds exactly the circle.
//
// Lengths are in room units, the camera at the origin, x right and y down the picture, z down to
// the floor. The mapping from each output pixel to what it sees is worked out once per size, so a
// picture costs a copy of the walls and a walk over the floor's pixels.
class FisheyeScene {
 public:
  static constexpr uint8_t kMinBlue = 80;
  static constexpr std::array<uint8_t, 3> kGridColour = {96, 40, 32};  // B, G, R

  struct Room {
    double halfWidth = 0;  // walls at x = +-halfWidth
    double halfDepth = 0;  // walls at y = +-halfDepth
    double height = 0;     // the floor at z = height
    double gridStep = 0;   // grid lines along the walls
    double gridRise = 0;   // grid lines up the walls
    double lineHalfWidth = 0;
  };

  FisheyeScene(int width, int height, FisheyeLensKind lens, const FisheyeCircle& circle);

  const FisheyeLens& lens() const { return lens_; }
  // The room for a floor picture of the given size: its floor has the picture's aspect ratio.
  static Room roomFor(int floorWidth, int floorHeight);

  // out becomes width x height; floor is any size, its first row at y = -halfDepth.
  void render(const BgrPicture& floor, BgrPicture& out);

 private:
  struct FloorCopy {
    uint32_t target;  // byte offsets
    uint32_t source;
  };

  void build(int floorWidth, int floorHeight);

  int width_;
  int height_;
  FisheyeLens lens_;
  int floorWidth_ = 0;
  int floorHeight_ = 0;
  std::vector<uint8_t> walls_;  // the picture without its floor
  std::vector<FloorCopy> floorCopies_;
  std::array<uint8_t, 256> liftedBlue_{};
};

}  // namespace vexa::camera
