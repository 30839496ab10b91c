#include "display/fisheye/FisheyeProjection.h"

#include <algorithm>
#include <cmath>

#include "media/PictureFormat.h"

namespace vexa {

namespace {

constexpr double kDegrees = kFisheyePi / 180.0;
// Rays this close to straight behind the lens have no image point.
constexpr double kBehindLens = 1e-12;

// Lens projection of a lens ray (x, y, z) with |(x, y, z)| = length: the stereographic image
// point 2f tan(alpha/2) (cos psi, sin psi) is 2f (x, y) / (length + z). False behind the lens.
bool projectRay(double x, double y, double z, double length, double& imageX, double& imageY) {
  const double denominator = length + z;
  if (!(denominator > kBehindLens * length)) return false;
  const double k = 2.0 * kLensFocal / denominator;
  imageX = k * x;
  imageY = k * y;
  return true;
}

double dot(const double (&row)[3], double a, double b, double c) {
  return row[0] * a + row[1] * b + row[2] * c;
}

}  // namespace

int32_t FisheyeSource::offsetOf(double sensorX, double sensorY) const {
  const SensorPoint stream = mapping.toStream(sensorX, sensorY);
  // Written so that NaN falls outside too.
  if (!(stream.x >= 0 && stream.x < width && stream.y >= 0 && stream.y < height)) return -1;
  return int32_t((int64_t(stream.y) * width + int64_t(stream.x)) * kBytesPerPixel);
}

ViewRotation viewRotation(double a, double b) {
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  return {{ca, sa * cb, sa * sb}, {-sa, ca * cb, ca * sb}, {0, -sb, cb}};
}

void buildPerspectiveMap(const FisheyeSource& source, const PerspectiveView& view,
                         const MapWindow& window) {
  const double a = -view.pan * kDegrees;
  ViewRotation r = viewRotation(a, -view.tilt * kDegrees);
  if (view.roll) {
    const double c = -(a + view.rotateBias);
    const double cc = std::cos(c), sc = std::sin(c);
    for (int i = 0; i < 3; ++i) {
      const double x = r.x[i], y = r.y[i];
      r.x[i] = cc * x - sc * y;
      r.y[i] = sc * x + cc * y;
    }
  }
  const int ow = window.rect.width, oh = window.rect.height;
  const double depth = view.zoom * kLensFocal;
  for (int y = 0; y < oh; ++y) {
    // The view ray (u, v, depth), left unnormalised: the projection divides its length out.
    // Along a row only u changes, so each lens coordinate is a row base plus u times a column.
    const double v = oh / 2 - y;
    const double baseX = r.x[1] * v + r.x[2] * depth;
    const double baseY = r.y[1] * v + r.y[2] * depth;
    const double baseZ = r.z[1] * v + r.z[2] * depth;
    const double rowLength2 = v * v + depth * depth;
    int32_t* out = window.entries + size_t(y + window.rect.y) * window.rowLength + window.rect.x;
    for (int x = 0; x < ow; ++x) {
      const double u = x - ow / 2;
      double dx, dy;
      if (!projectRay(baseX + r.x[0] * u, baseY + r.y[0] * u, baseZ + r.z[0] * u,
                      std::sqrt(u * u + rowLength2), dx, dy)) {
        out[x] = -1;
        continue;
      }
      out[x] = source.offsetOf(source.centre.x + truncateWhole(dx) - 1,
                               source.centre.y - truncateWhole(dy) - 1);
    }
  }
}

void buildPanoramaMap(const FisheyeSource& source, const PanoramaView& view,
                      const MapWindow& window, PanoramaScratch& scratch) {
  const int ow = window.rect.width, oh = window.rect.height;
  if (!(view.limit > 0)) {
    // No calibrated circle: nothing to show.
    for (int y = 0; y < oh; ++y) {
      int32_t* out = window.entries + size_t(y + window.rect.y) * window.rowLength + window.rect.x;
      std::fill_n(out, ow, -1);
    }
    return;
  }
  scratch.sinLongitude.resize(size_t(ow));
  scratch.cosLongitude.resize(size_t(ow));
  scratch.sinLatitude.resize(size_t(oh));
  scratch.cosLatitude.resize(size_t(oh));
  for (int x = 0; x < ow; ++x) {
    const double longitude = (x - ow / 2) * view.arc / kLensFocal;
    scratch.sinLongitude[size_t(x)] = std::sin(longitude);
    scratch.cosLongitude[size_t(x)] = std::cos(longitude);
  }
  for (int y = 0; y < oh; ++y) {
    // Mercator: latitude atan(sinh(t)) has sine tanh(t) and cosine 1 / cosh(t).
    const double t = (oh / 2 - y) * view.arc / kLensFocal;
    scratch.sinLatitude[size_t(y)] = std::tanh(t);
    scratch.cosLatitude[size_t(y)] = 1.0 / std::cosh(t);
  }
  const ViewRotation r = viewRotation(view.pan * kDegrees, view.tilt * kDegrees);
  const double cb = std::cos(view.rotateBias), sb = std::sin(view.rotateBias);
  for (int y = 0; y < oh; ++y) {
    int32_t* out = window.entries + size_t(y + window.rect.y) * window.rowLength + window.rect.x;
    const bool rowInside = std::fabs((oh / 2 - y) * view.arc) <= view.limit;
    const double sinMu = scratch.sinLatitude[size_t(y)], cosMu = scratch.cosLatitude[size_t(y)];
    for (int x = 0; x < ow; ++x) {
      if (!rowInside || !(std::fabs((x - ow / 2) * view.arc) <= view.limit)) {
        out[x] = -1;
        continue;
      }
      const double rx = scratch.sinLongitude[size_t(x)] * cosMu;
      const double rz = scratch.cosLongitude[size_t(x)] * cosMu;
      double px, py;
      if (!projectRay(dot(r.x, rx, sinMu, rz), dot(r.y, rx, sinMu, rz), dot(r.z, rx, sinMu, rz),
                      1.0, px, py)) {
        out[x] = -1;
        continue;
      }
      // The image direction turned by the rotate bias.
      const double dx = px * cb - py * sb, dy = px * sb + py * cb;
      out[x] = source.offsetOf(floorWhole(source.centre.x + floorWhole(dx)),
                               floorWhole(source.centre.y - floorWhole(dy)));
    }
  }
}

}  // namespace vexa
