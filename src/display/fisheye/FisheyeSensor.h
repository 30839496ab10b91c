#pragma once

#include <cstdint>

namespace vexa {

// The fisheye lens is calibrated in pixels of the full sensor; a stream shows a window of that
// sensor, scaled. This file turns sensor points into stream pixels and back.
constexpr int kSensorWidth = 2592;
constexpr int kSensorHeight = 1944;
constexpr double kLensFocal = 477.0;  // sensor pixels; radius 2f tan(theta/2)
constexpr double kFisheyePi = double(3.1415927f);

// Rounding of map coordinates without a library call per map entry. Values beyond 2^53 are
// whole already; NaN stays NaN.
inline double truncateWhole(double value) {
  constexpr double kAllWhole = 4503599627370496.0;  // 2^52
  return value > -kAllWhole && value < kAllWhole ? double(int64_t(value)) : value;
}
inline double floorWhole(double value) {
  const double t = truncateWhole(value);
  return t > value ? t - 1 : t;
}

// Sensor classes: which window of the sensor the camera streams.
enum SensorClass : int { kFullSensor = 0, kSensor2048x1536 = 1, kSensor1920x1080 = 2 };
constexpr int kDefaultSensorClass = kSensor1920x1080;

// "2592x1944" -> full sensor, "2048x1536" -> its window, anything else -> the 1920x1080 window.
int sensorClassFromText(const char* text);
// The text choosing a class, as sensorClassFromText reads it.
const char* sensorClassText(int sensorClass);
// The class whose window has the shape nearest to a picture's: a camera streaming that picture
// most likely shows that window of its sensor.
int sensorClassForShape(int width, int height);

// Picture orientations of the camera.
enum Orientation : int {
  kNormal = 0,
  kFlip = 1,
  kMirror = 2,
  kRotate = 3,
  kCounterClockwise = 4,
  kClockwise = 5
};

struct SensorRow {
  int width;
  int height;
  float scaleX;
  int offsetX;
  float scaleY;
  int offsetY;
};

// The row for a stream size within a sensor class; the first row when the size is not listed
// (or the class is unknown).
const SensorRow& sensorRow(int sensorClass, int width, int height);

struct SensorPoint {
  double x;
  double y;
};

// The calibrated centre as seen in a stream of the given orientation (sensor pixels). Wide
// arithmetic: any 32-bit calibration is accepted.
SensorPoint effectiveCentre(int orientation, int64_t centreX, int64_t centreY);

// Sensor <-> stream conversion for one stream size, sensor class and orientation. Quarter-turn
// orientations look the row up for the swapped size and exchange the axes' scales and offsets.
class SensorMapping {
 public:
  SensorMapping() : SensorMapping(kDefaultSensorClass, kNormal, 0, 0) {}
  SensorMapping(int sensorClass, int orientation, int streamWidth, int streamHeight);

  // Stream pixel of a sensor point, truncated towards zero (not range checked).
  SensorPoint toStream(double sensorX, double sensorY) const {
    return {truncateWhole((sensorX + offsetX_) * scaleX_),
            truncateWhole((sensorY + offsetY_) * scaleY_)};
  }
  // The sensor point a stream pixel comes from.
  SensorPoint toSensor(double streamX, double streamY) const;

  double scaleX() const { return scaleX_; }
  double scaleY() const { return scaleY_; }
  double offsetX() const { return offsetX_; }
  double offsetY() const { return offsetY_; }
  bool operator==(const SensorMapping&) const = default;

 private:
  double scaleX_ = 1;
  double offsetX_ = 0;
  double scaleY_ = 1;
  double offsetY_ = 0;
};

}  // namespace vexa
