#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/Canvas.h"
#include "display/fisheye/FisheyeSensor.h"

namespace vexa {

// The source picture and where the lens sits in it.
struct FisheyeSource {
  int width = 0;
  int height = 0;
  SensorPoint centre{0, 0};  // effective centre, sensor pixels
  SensorMapping mapping;

  // Byte offset of the stream pixel under a sensor point (rows width x 3 bytes), or -1 when it
  // falls outside the picture.
  int32_t offsetOf(double sensorX, double sensorY) const;
};

// The part of a map a view fills: rect, in a map whose rows are rowLength entries long.
struct MapWindow {
  int32_t* entries = nullptr;
  size_t rowLength = 0;
  Rect rect;
};

// Rotation of a view: the rows that turn a view ray into a lens ray.
struct ViewRotation {
  double x[3];
  double y[3];
  double z[3];
};
ViewRotation viewRotation(double panRadians, double tiltRadians);

// A virtual pan/tilt/zoom camera. zoom multiplies the lens constant; roll turns the view about
// its axis so that it stays upright in a panorama drawn with the rotate bias.
struct PerspectiveView {
  double pan = 0;   // degrees
  double tilt = 0;  // degrees
  double zoom = 1;
  bool roll = false;
  double rotateBias = 0;  // radians
};
void buildPerspectiveMap(const FisheyeSource& source, const PerspectiveView& view,
                         const MapWindow& window);

// A Mercator band around the lens; arc is the lens arc per output pixel and limit bounds it.
struct PanoramaView {
  double pan = 0;   // degrees
  double tilt = 0;  // degrees
  double arc = 1;
  double limit = 0;
  double rotateBias = 0;  // radians
};
// Per-column and per-row values kept between builds so that a rebuild allocates nothing.
struct PanoramaScratch {
  std::vector<float> sinLongitude, cosLongitude, sinLatitude, cosLatitude;
};
void buildPanoramaMap(const FisheyeSource& source, const PanoramaView& view,
                      const MapWindow& window, PanoramaScratch& scratch);

}  // namespace vexa
