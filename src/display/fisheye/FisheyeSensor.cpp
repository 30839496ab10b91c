#include "display/fisheye/FisheyeSensor.h"

#include <array>
#include <cmath>
#include <cstring>

namespace vexa {

namespace {

struct SizeEntry {
  int width;
  int height;
};

// Sizes delivered unscaled from a fixed window of the sensor.
constexpr std::array<SensorRow, 5> kUnscaledRows{{
    {2592, 1952, 1.0f, 0, 1.0f, 0},
    {2592, 1944, 1.0f, 0, 1.0f, 0},
    {2048, 1536, 1.0f, -272, 1.0f, -204},
    {1920, 1088, 1.0f, -336, 1.0f, -432},
    {1920, 1080, 1.0f, -336, 1.0f, -432},
}};

// Sizes scaled from the class's own window.
constexpr std::array<SizeEntry, 10> kScaledSizes{{{1280, 1024},
                                                  {1280, 720},
                                                  {1024, 768},
                                                  {800, 608},
                                                  {800, 600},
                                                  {720, 576},
                                                  {720, 480},
                                                  {640, 480},
                                                  {352, 288},
                                                  {352, 240}}};

struct ClassWindow {
  int width;
  int height;
  int offsetX;
  int offsetY;
};
constexpr std::array<ClassWindow, 3> kClassWindows{{
    {2592, 1944, 0, 0},
    {2048, 1536, -272, -204},
    {1920, 1080, -336, -432},
}};

constexpr size_t kRowsPerClass = kUnscaledRows.size() + kScaledSizes.size();
using ClassTable = std::array<SensorRow, kRowsPerClass>;

constexpr ClassTable makeClassTable(const ClassWindow& window) {
  ClassTable table{};
  size_t i = 0;
  for (const SensorRow& row : kUnscaledRows) table[i++] = row;
  for (const SizeEntry& size : kScaledSizes) {
    table[i++] = {size.width,
                  size.height,
                  float(size.width) / float(window.width),
                  window.offsetX,
                  float(size.height) / float(window.height),
                  window.offsetY};
  }
  return table;
}

constexpr std::array<ClassTable, 3> kClassTables{
    makeClassTable(kClassWindows[0]),
    makeClassTable(kClassWindows[1]),
    makeClassTable(kClassWindows[2]),
};

}  // namespace

int sensorClassFromText(const char* text) {
  if (text && std::strcmp(text, "2592x1944") == 0) return kFullSensor;
  if (text && std::strcmp(text, "2048x1536") == 0) return kSensor2048x1536;
  return kSensor1920x1080;
}

const char* sensorClassText(int sensorClass) {
  if (sensorClass == kFullSensor) return "2592x1944";
  if (sensorClass == kSensor2048x1536) return "2048x1536";
  return "1920x1080";
}

int sensorClassForShape(int width, int height) {
  if (width <= 0 || height <= 0) return kDefaultSensorClass;
  const double shape = double(width) / height;
  const auto distance = [shape](const ClassWindow& window) {
    return std::abs(std::log(shape * window.height / window.width));
  };
  return distance(kClassWindows[kFullSensor]) < distance(kClassWindows[kSensor1920x1080])
             ? kFullSensor
             : kSensor1920x1080;
}

const SensorRow& sensorRow(int sensorClass, int width, int height) {
  const bool known = sensorClass >= 0 && sensorClass < int(kClassTables.size());
  const ClassTable& table = kClassTables[known ? size_t(sensorClass) : 0];
  for (const SensorRow& row : table) {
    if (row.width == width && row.height == height) return row;
  }
  return table[0];
}

SensorPoint effectiveCentre(int orientation, int64_t cx, int64_t cy) {
  switch (orientation) {
    case kFlip:
      return {double(cx), double(kSensorHeight - cy)};
    case kMirror:
      return {double(kSensorWidth - cx), double(cy)};
    case kRotate:
      return {double(kSensorWidth - cx), double(kSensorHeight - cy)};
    case kCounterClockwise:
      return {double(kSensorHeight - cy), double(cx)};
    case kClockwise:
      return {double(cy), double(kSensorWidth - cx)};
    default:
      return {double(cx), double(cy)};
  }
}

SensorMapping::SensorMapping(int sensorClass, int orientation, int streamWidth, int streamHeight) {
  const bool quarterTurn = orientation == kCounterClockwise || orientation == kClockwise;
  const SensorRow& row = quarterTurn ? sensorRow(sensorClass, streamHeight, streamWidth)
                                     : sensorRow(sensorClass, streamWidth, streamHeight);
  scaleX_ = quarterTurn ? row.scaleY : row.scaleX;
  offsetX_ = quarterTurn ? row.offsetY : row.offsetX;
  scaleY_ = quarterTurn ? row.scaleX : row.scaleY;
  offsetY_ = quarterTurn ? row.offsetX : row.offsetY;
}

SensorPoint SensorMapping::toSensor(double streamX, double streamY) const {
  return {streamX / scaleX_ - offsetX_, streamY / scaleY_ - offsetY_};
}

}  // namespace vexa
