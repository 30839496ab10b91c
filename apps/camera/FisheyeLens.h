#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexa::camera {

enum class FisheyeLensKind {
  Stereographic,  // r = 2f tan(theta/2): straight lines dewarp straight
  Equidistant,    // r = f theta: the usual real lens
};

std::optional<FisheyeLensKind> fisheyeLensByName(std::string_view name);

// The image circle in picture pixels; pixel (x, y) covers [x, x + 1) x [y, y + 1).
struct FisheyeCircle {
  int x = 0;
  int y = 0;
  int diameter = 0;
  bool operator==(const FisheyeCircle&) const = default;
};

// "X,Y,D" with D above 0.
std::optional<FisheyeCircle> parseFisheyeCircle(std::string_view text);

// What a fisheye camera is asked to show: the lens, and the circle for a picture of
// referenceWidth x referenceHeight (centred, as wide as the smaller side, when none is given).
struct FisheyeSettings {
  FisheyeLensKind lens = FisheyeLensKind::Stereographic;
  std::optional<FisheyeCircle> circle;
  int referenceWidth = 0;
  int referenceHeight = 0;

  // The circle in a picture of width x height: the same place relative to the picture.
  FisheyeCircle circleFor(int width, int height) const;
};

// "fisheye circle X,Y diameter D (viewer: --fisheye-centre X,Y --fisheye-diameter D)".
std::string describeFisheyeCircle(const FisheyeCircle& circle);

struct Ray {
  double x = 0;  // picture right
  double y = 0;  // picture down
  double z = 0;  // along the optical axis
};

struct PicturePoint {
  double x = 0;
  double y = 0;
};

// An ideal 180 degree fisheye: a ray at 90 degrees from the axis lands on the circle's edge.
// Everything is in picture pixels, so that a dewarper working in its own sensor coordinates can
// scale the circle and call the same mapping.
class FisheyeLens {
 public:
  static constexpr double kHalfField = 1.5707963267948966;  // 90 degrees

  FisheyeLens(FisheyeLensKind kind, const FisheyeCircle& circle);

  FisheyeLensKind kind() const { return kind_; }
  // Distance from the centre of a ray at theta radians from the axis, and back.
  double radiusOf(double theta) const;
  double angleOf(double radius) const;
  // Where a ray (any length, z >= 0) lands in the picture.
  PicturePoint pictureOf(const Ray& ray) const;
  // The unit ray seen at a picture point; none outside the circle.
  std::optional<Ray> rayAt(const PicturePoint& point) const;

 private:
  FisheyeLensKind kind_;
  double centreX_;
  double centreY_;
  double radius_;
  double focal_;
};

}  // namespace vexa::camera
