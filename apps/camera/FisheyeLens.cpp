#include "camera/FisheyeLens.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vexa::camera {
namespace {

constexpr char kSeparator = ',';
constexpr double kPi = 3.141592653589793;
// A ray straight back has no picture point; rays nearer to it than this stand for it.
constexpr double kWidestAngle = kPi * 0.999;

std::optional<int> parseInt(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<FisheyeLensKind> fisheyeLensByName(std::string_view name) {
  if (name == "stereographic") return FisheyeLensKind::Stereographic;
  if (name == "equidistant") return FisheyeLensKind::Equidistant;
  return std::nullopt;
}

std::optional<FisheyeCircle> parseFisheyeCircle(std::string_view text) {
  const size_t first = text.find(kSeparator);
  const size_t second = first == std::string_view::npos ? first : text.find(kSeparator, first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto x = parseInt(text.substr(0, first));
  const auto y = parseInt(text.substr(first + 1, second - first - 1));
  const auto diameter = parseInt(text.substr(second + 1));
  if (!x || !y || !diameter || *diameter <= 0) return std::nullopt;
  return FisheyeCircle{*x, *y, *diameter};
}

FisheyeCircle FisheyeSettings::circleFor(int width, int height) const {
  if (!circle || referenceWidth <= 0 || referenceHeight <= 0) {
    return {width / 2, height / 2, std::min(width, height)};
  }
  const double scaleX = double(width) / referenceWidth;
  const double scaleY = double(height) / referenceHeight;
  return {int(std::lround(circle->x * scaleX)), int(std::lround(circle->y * scaleY)),
          std::max(1, int(std::lround(circle->diameter * std::min(scaleX, scaleY))))};
}

SensorMapping sensorMappingForPicture(int width, int height) {
  return SensorMapping(sensorClassForShape(width, height), kNormal, width, height);
}

// The viewer's dewarper takes its centre one sensor pixel beyond the lens's (it subtracts one),
// counts its y from the sensor's bottom edge and is told y from the top.
ViewerFisheyeSettings viewerSettingsFor(const FisheyeCircle& circle, int width, int height) {
  const SensorMapping sensor = sensorMappingForPicture(width, height);
  const SensorPoint centre = sensor.toSensor(circle.x, height - circle.y);
  return {sensorClassForShape(width, height), std::lround(centre.x + 1),
          std::lround(kSensorHeight - (centre.y + 1)),
          std::lround(circle.diameter / sensor.scaleX())};
}

std::string describeFisheyeCircle(const FisheyeCircle& circle, int width, int height) {
  const ViewerFisheyeSettings viewer = viewerSettingsFor(circle, width, height);
  char text[224];
  std::snprintf(text, sizeof text,
                "fisheye circle %d,%d diameter %d (viewer: --sensor-mode %s --fisheye-centre "
                "%ld,%ld --fisheye-diameter %ld)",
                circle.x, circle.y, circle.diameter, sensorClassText(viewer.sensorClass),
                viewer.centreX, viewer.centreYFromTop, viewer.diameter);
  return text;
}

FisheyeLens::FisheyeLens(FisheyeLensKind kind, const FisheyeCircle& circle,
                         const SensorMapping& sensor)
    : kind_(kind),
      centreX_(circle.x),
      centreY_(circle.y),
      radius_(circle.diameter / 2.0),
      scaleX_(sensor.scaleX()),
      scaleY_(sensor.scaleY()),
      // Both kinds put a ray at 90 degrees 2f from the centre.
      focal_(kind == FisheyeLensKind::Stereographic ? kLensFocal : 4 * kLensFocal / kPi) {}

double FisheyeLens::radiusOf(double theta) const {
  return kind_ == FisheyeLensKind::Stereographic ? 2 * focal_ * std::tan(theta / 2)
                                                 : focal_ * theta;
}

double FisheyeLens::angleOf(double radius) const {
  return kind_ == FisheyeLensKind::Stereographic ? 2 * std::atan(radius / (2 * focal_))
                                                 : radius / focal_;
}

PicturePoint FisheyeLens::pictureOf(const Ray& ray) const {
  const double sideways = std::hypot(ray.x, ray.y);
  if (sideways == 0) return {centreX_, centreY_};
  const double radius = radiusOf(std::atan2(sideways, ray.z));
  return {centreX_ + radius * scaleX_ * ray.x / sideways,
          centreY_ + radius * scaleY_ * ray.y / sideways};
}

std::optional<Ray> FisheyeLens::rayAt(const PicturePoint& point) const {
  const double dx = point.x - centreX_;
  const double dy = point.y - centreY_;
  if (std::hypot(dx, dy) > radius_ || radius_ <= 0 || scaleX_ <= 0 || scaleY_ <= 0) {
    return std::nullopt;
  }
  const double sensorX = dx / scaleX_;
  const double sensorY = dy / scaleY_;
  const double radius = std::hypot(sensorX, sensorY);
  if (radius == 0) return Ray{0, 0, 1};
  const double theta = std::min(angleOf(radius), kWidestAngle);
  const double sideways = std::sin(theta) / radius;
  return Ray{sensorX * sideways, sensorY * sideways, std::cos(theta)};
}

}  // namespace vexa::camera
