#include "display/fisheye/FisheyeSensor.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TEST(FisheyeSensor, RowsScaleEachClassWindow) {
  struct Case {
    int sensorClass, width, height;
    double scaleX, scaleY;
    int offsetX, offsetY;
  };
  const Case cases[] = {
      {kFullSensor, 1280, 1024, 0.493827, 0.526749, 0, 0},
      {kSensor2048x1536, 1280, 1024, 0.625, 0.666667, -272, -204},
      {kSensor1920x1080, 640, 480, 0.333333, 0.444444, -336, -432},
      {kSensor1920x1080, 352, 240, 352 / 1920.0, 240 / 1080.0, -336, -432},
      {kFullSensor, 2048, 1536, 1, 1, -272, -204},
      {kSensor2048x1536, 1920, 1088, 1, 1, -336, -432},
      {kSensor1920x1080, 2592, 1944, 1, 1, 0, 0},
      {kSensor1920x1080, 1366, 768, 1, 1, 0, 0},        // not listed: the first row
      {7, 640, 480, 640 / 2592.0, 480 / 1944.0, 0, 0},  // unknown class: the full sensor
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sensorClass << " " << c.width << "x" << c.height);
    const SensorRow& row = sensorRow(c.sensorClass, c.width, c.height);
    EXPECT_NEAR(row.scaleX, c.scaleX, 1e-6);
    EXPECT_NEAR(row.scaleY, c.scaleY, 1e-6);
    EXPECT_EQ(row.offsetX, c.offsetX);
    EXPECT_EQ(row.offsetY, c.offsetY);
  }
  EXPECT_EQ(sensorClassFromText("2592x1944"), kFullSensor);
  EXPECT_EQ(sensorClassFromText("2048x1536"), kSensor2048x1536);
  EXPECT_EQ(sensorClassFromText("1280x720"), kSensor1920x1080);
}

TEST(FisheyeSensor, EffectiveCentreAndAxesFollowTheOrientation) {
  struct Case {
    int orientation;
    double x, y;
    bool swapped;
  };
  const Case cases[] = {
      {kNormal, 1000, 700, false},           {kFlip, 1000, 1244, false},
      {kMirror, 1592, 700, false},           {kRotate, 1592, 1244, false},
      {kCounterClockwise, 1244, 1000, true}, {kClockwise, 700, 1592, true},
  };
  const SensorMapping upright(kSensor1920x1080, kNormal, 640, 480);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation);
    const SensorPoint centre = effectiveCentre(c.orientation, 1000, 700);
    EXPECT_EQ(centre.x, c.x);
    EXPECT_EQ(centre.y, c.y);
    // A quarter turn streams 480x640 and looks the row up for 640x480 with the axes exchanged.
    const SensorMapping m = c.swapped ? SensorMapping(kSensor1920x1080, c.orientation, 480, 640)
                                      : SensorMapping(kSensor1920x1080, c.orientation, 640, 480);
    EXPECT_EQ(m.scaleX(), c.swapped ? upright.scaleY() : upright.scaleX());
    EXPECT_EQ(m.offsetY(), c.swapped ? upright.offsetX() : upright.offsetY());
    const SensorPoint back = m.toSensor(m.toStream(1500, 900).x, m.toStream(1500, 900).y);
    EXPECT_NEAR(back.x, 1500, 1 / m.scaleX());
    EXPECT_NEAR(back.y, 900, 1 / m.scaleY());
  }
  // Any 32-bit calibration stays exact.
  EXPECT_EQ(effectiveCentre(kClockwise, INT32_MIN, INT32_MAX).y, 2592.0 - INT32_MIN);
}

}  // namespace
}  // namespace vexa
