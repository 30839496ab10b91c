#include "display/fisheye/FisheyeProjection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "media/PictureFormat.h"

namespace vexa {

namespace {

constexpr double kDegrees = kFisheyePi / 180.0;
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

namespace {

// A row is mapped in chunks of this many entries, its intermediate values kept on the stack.
constexpr int kChunk = 256;
// Marks a ray with no image point; whole image offsets beyond kFarWhole are clamped to it, far
// outside any picture a calibration can place.
constexpr int32_t kNoWhole = INT32_MIN;
constexpr int32_t kNoPixel = -1;
constexpr float kFarWhole = 1073741824.0f;  // 2^30
constexpr float kBehindLensFloat = 1e-6f;

// One output row of a perspective view: the lens ray of column u is base + step * u, its length
// sqrt(u^2 + length2).
struct RayRow {
  float baseX, baseY, baseZ;
  float stepX, stepY, stepZ;
  float length2;
};

// Into [-kFarWhole, kFarWhole], NaN to the low end, so that the conversion to an integer is
// always defined. Both comparisons are always made, so that the compiler may turn them into
// vector selects.
float clampFar(float value) {
  const float above = value >= -kFarWhole ? value : -kFarWhole;
  return above > kFarWhole ? kFarWhole : above;
}

// Square roots of count values, on vector lanes where the target has them: the plain loop
// would not be vectorised, since std::sqrt may set errno.
void squareRoots(const float* values, int count, float* roots) {
  int i = 0;
#if defined(__SSE__)
  for (; i + 4 <= count; i += 4) _mm_storeu_ps(roots + i, _mm_sqrt_ps(_mm_loadu_ps(values + i)));
#endif
  for (; i < count; ++i) roots[i] = std::sqrt(values[i]);
}

// The image point of each ray, relative to the lens centre and truncated towards zero, in
// single precision and without branches so that the loops run on vector lanes.
void projectRays(const RayRow& row, float firstU, int count, int32_t* imageX, int32_t* imageY) {
  constexpr float kTwoFocal = float(2.0 * kLensFocal);
  float lengths[kChunk];
  for (int i = 0; i < count; ++i) {
    const float u = firstU + float(i);
    lengths[i] = u * u + row.length2;
  }
  squareRoots(lengths, count, lengths);
  for (int i = 0; i < count; ++i) {
    const float u = firstU + float(i);
    const float length = lengths[i];
    const float denominator = length + row.baseZ + row.stepZ * u;
    const bool inFront = denominator > kBehindLensFloat * length;
    // Divided even behind the lens (a select here would keep the loop off vector lanes); the
    // clamp below makes any infinity or NaN finite.
    const float k = kTwoFocal / denominator;
    const float x = clampFar((row.baseX + row.stepX * u) * k);
    const float y = clampFar((row.baseY + row.stepY * u) * k);
    // Converted whether or not the ray is in front: a select keeps the loop free of branches.
    const int32_t wholeX = int32_t(x), wholeY = int32_t(y);
    imageX[i] = inFront ? wholeX : kNoWhole;
    imageY[i] = inFront ? wholeY : kNoWhole;
  }
}

// Stream pixel index along one axis of the sensor coordinate origin + whole, or -1 outside:
// truncation keeps (-1, 0) at pixel 0, as the single-point lookup does.
struct AxisMapping {
  double origin;  // sensor coordinate of whole offset 0, plus the stream window's offset
  double scale;
  double size;
};

// Stream byte offsets of image points given as whole offsets from the lens centre.
void lookUpOffsets(const AxisMapping& columns, const AxisMapping& rows, int32_t rowBytes,
                   const int32_t* imageX, const int32_t* imageY, int count, int32_t* out) {
  for (int i = 0; i < count; ++i) {
    const double px = (columns.origin + double(imageX[i])) * columns.scale;
    const double py = (rows.origin - double(imageY[i])) * rows.scale;
    const bool inside = (imageX[i] != kNoWhole) & (px > -1.0) & (px < columns.size) & (py > -1.0) &
                        (py < rows.size);
    // Clamped first so that the conversions stay defined for points far outside.
    const int32_t column = int32_t(std::clamp(px, 0.0, columns.size));
    const int32_t line = int32_t(std::clamp(py, 0.0, rows.size));
    out[i] = inside ? line * rowBytes + column * int32_t(kBytesPerPixel) : kNoPixel;
  }
}

// The view rotation of a panorama and the rotate bias that turns its image points.
struct BandRotation {
  float x[3], y[3], z[3];
  float cosBias, sinBias;
};

// Rounded down; value is within the range of the result.
int32_t floorOf(float value) {
  const int32_t whole = int32_t(value);
  return whole - (float(whole) > value ? 1 : 0);
}

// The image points, rounded down, of the unit rays at one latitude and count longitudes.
void projectBand(const BandRotation& r, float sinMu, float cosMu, const float* sinLongitude,
                 const float* cosLongitude, int count, int32_t* imageX, int32_t* imageY) {
  constexpr float kTwoFocal = float(2.0 * kLensFocal);
  for (int i = 0; i < count; ++i) {
    const float rx = sinLongitude[i] * cosMu, rz = cosLongitude[i] * cosMu;
    const float x = r.x[0] * rx + r.x[1] * sinMu + r.x[2] * rz;
    const float y = r.y[0] * rx + r.y[1] * sinMu + r.y[2] * rz;
    const float denominator = 1.0f + r.z[0] * rx + r.z[1] * sinMu + r.z[2] * rz;
    const bool inFront = denominator > kBehindLensFloat;
    const float k = kTwoFocal / denominator;
    const float px = clampFar(k * x), py = clampFar(k * y);
    const int32_t wholeX = floorOf(clampFar(px * r.cosBias - py * r.sinBias));
    const int32_t wholeY = floorOf(clampFar(px * r.sinBias + py * r.cosBias));
    imageX[i] = inFront ? wholeX : kNoWhole;
    imageY[i] = inFront ? wholeY : kNoWhole;
  }
}

}  // namespace

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
  const SensorMapping& mapping = source.mapping;
  const AxisMapping columns{source.centre.x - 1 + mapping.offsetX(), mapping.scaleX(),
                            double(source.width)};
  const AxisMapping rows{source.centre.y - 1 + mapping.offsetY(), mapping.scaleY(),
                         double(source.height)};
  const int32_t rowBytes = int32_t(int64_t(source.width) * kBytesPerPixel);
  const int ow = window.rect.width, oh = window.rect.height;
  const double depth = view.zoom * kLensFocal;
  int32_t imageX[kChunk], imageY[kChunk];
  for (int y = 0; y < oh; ++y) {
    // The view ray (u, v, depth), left unnormalised: the projection divides its length out.
    // Along a row only u changes, so each lens coordinate is a row base plus u times a column.
    const double v = oh / 2 - y;
    const RayRow row{float(r.x[1] * v + r.x[2] * depth),
                     float(r.y[1] * v + r.y[2] * depth),
                     float(r.z[1] * v + r.z[2] * depth),
                     float(r.x[0]),
                     float(r.y[0]),
                     float(r.z[0]),
                     float(v * v + depth * depth)};
    int32_t* out = window.entries + size_t(y + window.rect.y) * window.rowLength + window.rect.x;
    for (int start = 0; start < ow; start += kChunk) {
      const int count = std::min(kChunk, ow - start);
      projectRays(row, float(start - ow / 2), count, imageX, imageY);
      lookUpOffsets(columns, rows, rowBytes, imageX, imageY, count, out + start);
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
  const float cb = float(std::cos(view.rotateBias)), sb = float(std::sin(view.rotateBias));
  const SensorMapping& mapping = source.mapping;
  const AxisMapping columns{source.centre.x + mapping.offsetX(), mapping.scaleX(),
                            double(source.width)};
  const AxisMapping rows{source.centre.y + mapping.offsetY(), mapping.scaleY(),
                         double(source.height)};
  const int32_t rowBytes = int32_t(int64_t(source.width) * kBytesPerPixel);
  const BandRotation rotation{{float(r.x[0]), float(r.x[1]), float(r.x[2])},
                              {float(r.y[0]), float(r.y[1]), float(r.y[2])},
                              {float(r.z[0]), float(r.z[1]), float(r.z[2])},
                              cb,
                              sb};
  // Columns beyond the limit stay dark in every row.
  int firstColumn = ow, endColumn = 0;
  for (int x = 0; x < ow; ++x) {
    if (!(std::fabs((x - ow / 2) * view.arc) <= view.limit)) continue;
    firstColumn = std::min(firstColumn, x);
    endColumn = x + 1;
  }
  int32_t imageX[kChunk], imageY[kChunk];
  for (int y = 0; y < oh; ++y) {
    int32_t* out = window.entries + size_t(y + window.rect.y) * window.rowLength + window.rect.x;
    const bool rowInside = std::fabs((oh / 2 - y) * view.arc) <= view.limit;
    if (!rowInside || firstColumn >= endColumn) {
      std::fill_n(out, ow, kNoPixel);
      continue;
    }
    std::fill_n(out, firstColumn, kNoPixel);
    std::fill(out + endColumn, out + ow, kNoPixel);
    const float sinMu = scratch.sinLatitude[size_t(y)], cosMu = scratch.cosLatitude[size_t(y)];
    for (int start = firstColumn; start < endColumn; start += kChunk) {
      const int count = std::min(kChunk, endColumn - start);
      projectBand(rotation, sinMu, cosMu, &scratch.sinLongitude[size_t(start)],
                  &scratch.cosLongitude[size_t(start)], count, imageX, imageY);
      lookUpOffsets(columns, rows, rowBytes, imageX, imageY, count, out + start);
    }
  }
}

}  // namespace vexa
