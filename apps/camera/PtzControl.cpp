#include "camera/PtzControl.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace vexa::camera {
namespace {

constexpr int kMaxImageSide = 65535;

std::optional<int> parseNumber(std::string_view text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || next != end || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// "a,b" as two numbers in low..high.
std::optional<std::pair<int, int>> parsePair(std::string_view text, int low, int high) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const auto first = parseNumber(text.substr(0, comma), low, high);
  const auto second = parseNumber(text.substr(comma + 1), low, high);
  if (!first || !second) return std::nullopt;
  return std::pair{*first, *second};
}

// name=value pairs; a later name replaces an earlier one.
std::map<std::string_view, std::string_view> splitQuery(std::string_view query) {
  std::map<std::string_view, std::string_view> fields;
  while (!query.empty()) {
    const size_t end = query.find('&');
    const std::string_view field = query.substr(0, end);
    const size_t equals = field.find('=');
    if (equals != std::string_view::npos)
      fields[field.substr(0, equals)] = field.substr(equals + 1);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
  }
  return fields;
}

std::string formatNumber(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

const PtzAnswer kBadRequest{400, "Bad Request", {}};

}  // namespace

PtzControl::PtzControl(int width, int height, const platform::Clock* clock)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      clock_(clock ? *clock : platform::SystemClock::instance()),
      view_(width, height),
      lastTick_(clock_.tickCount()) {}

void PtzControl::catchUp() {
  const uint32_t now = clock_.tickCount();
  view_.advance(now - lastTick_);  // unsigned: right across the tick count's wrap
  lastTick_ = now;
}

PtzAnswer PtzControl::handle(std::string_view query) {
  if (query.size() > kMaxQueryBytes) return kBadRequest;
  const auto fields = splitQuery(query);
  const auto field = [&](std::string_view name) -> std::optional<std::string_view> {
    const auto found = fields.find(name);
    if (found == fields.end()) return std::nullopt;
    return found->second;
  };
  const auto panTilt = field("continuouspantiltmove");
  const auto zoom = field("continuouszoommove");
  const auto position = field("query");
  const auto centre = field("center");
  if (!panTilt && !zoom && !position && !centre) return kBadRequest;

  // Everything is checked before anything moves.
  std::optional<std::pair<int, int>> speeds, point;
  std::optional<int> zoomSpeed, imageWidth, imageHeight;
  if (panTilt && !(speeds = parsePair(*panTilt, -PtzView::kMaxSpeed, PtzView::kMaxSpeed))) {
    return kBadRequest;
  }
  if (zoom && !(zoomSpeed = parseNumber(*zoom, -PtzView::kMaxSpeed, PtzView::kMaxSpeed))) {
    return kBadRequest;
  }
  if (position && *position != "position") return kBadRequest;
  if (centre) {
    point = parsePair(*centre, 0, kMaxImageSide);
    imageWidth = parseNumber(field("imagewidth").value_or(""), 1, kMaxImageSide);
    imageHeight = parseNumber(field("imageheight").value_or(""), 1, kMaxImageSide);
    if (!point || !imageWidth || !imageHeight || !field("stream")) return kBadRequest;
  }

  std::lock_guard lock(mutex_);
  catchUp();
  if (speeds) view_.setPanTilt(speeds->first, speeds->second);
  if (zoomSpeed) view_.setZoomSpeed(*zoomSpeed);
  if (point) view_.centreOn(point->first, point->second, *imageWidth, *imageHeight);
  PtzAnswer answer;
  if (position) {
    answer.lines = {"pan=" + formatNumber("%.2f", view_.panDegrees()),
                    "tilt=" + formatNumber("%.2f", view_.tiltDegrees()),
                    "zoomposition=" + std::to_string(view_.zoomPosition())};
  }
  return answer;
}

ViewRect PtzControl::crop() {
  std::lock_guard lock(mutex_);
  catchUp();
  return view_.crop();
}

ViewRect PtzControl::cropFor(int width, int height) {
  const ViewRect view = crop();
  const double sx = double(width) / width_;
  const double sy = double(height) / height_;
  return {view.x * sx, view.y * sy, view.width * sx, view.height * sy};
}

std::string PtzControl::describe() {
  std::lock_guard lock(mutex_);
  catchUp();
  const ViewRect view = view_.crop();
  return "view " + formatNumber("%.1f", view.x) + "," + formatNumber("%.1f", view.y) + " " +
         formatNumber("%.1f", view.width) + "x" + formatNumber("%.1f", view.height) + " zoom " +
         std::to_string(view_.zoomPosition());
}

}  // namespace vexa::camera
