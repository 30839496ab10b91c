#include "camera/FisheyeScene.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vexa::camera {
namespace {

// A room lower than it is wide, so that the floor fills a good part of the circle.
constexpr double kRoomHalfDepth = 1.0;
constexpr double kRoomHeight = 0.6;
constexpr double kGridStep = 0.25;
constexpr double kGridRise = 0.15;
constexpr double kLineHalfWidth = 0.012;
constexpr int kMaxByte = 255;

using Bgr = std::array<uint8_t, 3>;
// Pale, distinct walls: the one at -y, +x, +y, -x.
constexpr std::array<Bgr, 4> kWallColours = {{
    {220, 200, 170},
    {170, 220, 200},
    {200, 170, 220},
    {230, 230, 200},
}};

enum class Surface { Floor, WallNegativeY, WallPositiveX, WallPositiveY, WallNegativeX };

struct Hit {
  Surface surface = Surface::Floor;
  double x = 0, y = 0, z = 0;
};

double distanceTo(double plane, double along) {
  return along == 0 ? std::numeric_limits<double>::infinity() : plane / std::abs(along);
}

Hit trace(const FisheyeScene::Room& room, const Ray& ray) {
  const double toFloor = ray.z > 0 ? room.height / ray.z : std::numeric_limits<double>::infinity();
  const double toSideX = distanceTo(room.halfWidth, ray.x);
  const double toSideY = distanceTo(room.halfDepth, ray.y);
  const double t = std::min({toFloor, toSideX, toSideY});
  Hit hit{Surface::Floor, ray.x * t, ray.y * t, ray.z * t};
  if (t == toSideY && t < toFloor) {
    hit.surface = ray.y < 0 ? Surface::WallNegativeY : Surface::WallPositiveY;
  } else if (t == toSideX && t < toFloor) {
    hit.surface = ray.x < 0 ? Surface::WallNegativeX : Surface::WallPositiveX;
  }
  return hit;
}

bool nearGridLine(double value, double step, double halfWidth) {
  return std::abs(value - step * std::round(value / step)) < halfWidth;
}

Bgr wallColour(const FisheyeScene::Room& room, const Hit& hit) {
  const bool alongX =
      hit.surface == Surface::WallNegativeY || hit.surface == Surface::WallPositiveY;
  const double along = alongX ? hit.x : hit.y;
  if (nearGridLine(along, room.gridStep, room.lineHalfWidth) ||
      nearGridLine(hit.z, room.gridRise, room.lineHalfWidth)) {
    return FisheyeScene::kGridColour;
  }
  return kWallColours[size_t(hit.surface) - size_t(Surface::WallNegativeY)];
}

}  // namespace

FisheyeScene::FisheyeScene(int width, int height, FisheyeLensKind lens, const FisheyeCircle& circle)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), lens_(lens, circle, sensorMappingForPicture(width_, height_)) {
  for (int blue = 0; blue <= kMaxByte; ++blue) {
    liftedBlue_[size_t(blue)] = uint8_t(kMinBlue + blue * (kMaxByte - kMinBlue) / kMaxByte);
  }
}

FisheyeScene::Room FisheyeScene::roomFor(int floorWidth, int floorHeight) {
  const double aspect = double(std::max(floorWidth, 1)) / std::max(floorHeight, 1);
  return {kRoomHalfDepth * aspect, kRoomHalfDepth, kRoomHeight, kGridStep, kGridRise,
          kLineHalfWidth};
}

void FisheyeScene::build(int floorWidth, int floorHeight) {
  floorWidth_ = floorWidth;
  floorHeight_ = floorHeight;
  const Room room = roomFor(floorWidth, floorHeight);
  walls_.assign(size_t(width_) * size_t(height_) * 3, 0);
  floorCopies_.clear();
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const auto ray = lens_.rayAt({x + 0.5, y + 0.5});
      if (!ray) continue;
      const Hit hit = trace(room, *ray);
      const auto target = uint32_t((size_t(y) * size_t(width_) + size_t(x)) * 3);
      if (hit.surface != Surface::Floor) {
        std::copy_n(wallColour(room, hit).data(), 3, walls_.data() + target);
        continue;
      }
      const int u = int((hit.x + room.halfWidth) / (2 * room.halfWidth) * floorWidth);
      const int v = int((hit.y + room.halfDepth) / (2 * room.halfDepth) * floorHeight);
      const size_t source = size_t(std::clamp(v, 0, floorHeight - 1)) * size_t(floorWidth) +
                            size_t(std::clamp(u, 0, floorWidth - 1));
      floorCopies_.push_back({target, uint32_t(source * 3)});
    }
  }
}

void FisheyeScene::render(const BgrPicture& floor, BgrPicture& out) {
  if (floor.width != floorWidth_ || floor.height != floorHeight_ || walls_.empty()) {
    build(std::max(floor.width, 1), std::max(floor.height, 1));
  }
  out.width = width_;
  out.height = height_;
  out.pixels.assign(walls_.begin(), walls_.end());
  if (floor.pixels.size() < size_t(floor.width) * size_t(floor.height) * 3) return;
  uint8_t* const target = out.pixels.data();
  const uint8_t* const source = floor.pixels.data();
  for (const FloorCopy& copy : floorCopies_) {
    target[copy.target] = liftedBlue_[source[copy.source]];
    target[copy.target + 1] = source[copy.source + 1];
    target[copy.target + 2] = source[copy.source + 2];
  }
}

}  // namespace vexa::camera
