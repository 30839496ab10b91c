#include "camera/FisheyeLens.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vexa::camera {
namespace {

constexpr char kSeparator = ',';

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

std::string describeFisheyeCircle(const FisheyeCircle& circle) {
  char text[160];
  std::snprintf(text, sizeof text,
                "fisheye circle %d,%d diameter %d (viewer: --fisheye-centre %d,%d "
                "--fisheye-diameter %d)",
                circle.x, circle.y, circle.diameter, circle.x, circle.y, circle.diameter);
  return text;
}

FisheyeLens::FisheyeLens(FisheyeLensKind kind, const FisheyeCircle& circle)
    : kind_(kind),
      centreX_(circle.x),
      centreY_(circle.y),
      radius_(circle.diameter / 2.0),
      // Chosen so that radiusOf(kHalfField) is the circle's radius.
      focal_(kind == FisheyeLensKind::Stereographic ? radius_ / (2 * std::tan(kHalfField / 2))
                                                    : radius_ / kHalfField) {}

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
  return {centreX_ + radius * ray.x / sideways, centreY_ + radius * ray.y / sideways};
}

std::optional<Ray> FisheyeLens::rayAt(const PicturePoint& point) const {
  const double dx = point.x - centreX_;
  const double dy = point.y - centreY_;
  const double radius = std::hypot(dx, dy);
  if (radius > radius_ || radius_ <= 0) return std::nullopt;
  if (radius == 0) return Ray{0, 0, 1};
  const double theta = angleOf(radius);
  const double sideways = std::sin(theta) / radius;
  return Ray{dx * sideways, dy * sideways, std::cos(theta)};
}

}  // namespace vexa::camera
