#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "display/fisheye/FisheyeSensor.h"

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

// How a dewarper working in the full sensor's pixels sees a width x height picture: the window of
// the sensor a camera of that shape streams, scaled to the picture.
SensorMapping sensorMappingForPicture(int width, int height);

// What the viewer is told so that its dewarper sees the circle where the camera drew it.
struct ViewerFisheyeSettings {
  int sensorClass = kDefaultSensorClass;
  long centreX = 0;  // sensor pixels
  long centreYFromTop = 0;
  long diameter = 0;
};
ViewerFisheyeSettings viewerSettingsFor(const FisheyeCircle& circle, int width, int height);

// "fisheye circle X,Y diameter D (viewer: --sensor-mode ... --fisheye-centre SX,SY
// --fisheye-diameter SD)": the circle in picture pixels, then in the viewer's sensor pixels.
std::string describeFisheyeCircle(const FisheyeCircle& circle, int width, int height);

struct Ray {
  double x = 0;  // picture right
  double y = 0;  // picture down
  double z = 0;  // along the optical axis
};

struct PicturePoint {
  double x = 0;
  double y = 0;
};

// The lens the viewer's dewarper assumes, in its sensor pixels, seen through the sensor window the
// picture shows: a ray at 90 degrees from the axis lands 2f sensor pixels from the centre for
// both kinds. The circle only bounds the picture: black outside it.
class FisheyeLens {
 public:
  FisheyeLens(FisheyeLensKind kind, const FisheyeCircle& circle, const SensorMapping& sensor);

  FisheyeLensKind kind() const { return kind_; }
  // Distance from the centre, in sensor pixels, of a ray at theta radians from the axis, and back.
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
  double radius_;  // the circle's, picture pixels
  double scaleX_;  // picture pixels per sensor pixel
  double scaleY_;
  double focal_;   // sensor pixels
};

}  // namespace vexa::camera
