#include "display/fisheye/FisheyeEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "display/fisheye/FisheyePictures.h"

namespace vexa {
namespace {

using test::dewarp;
using test::engineIn;
using test::FisheyePicture;

bool allBlack(const std::vector<uint8_t>& bits) {
  return std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 0; });
}

// Sizes and fields of view of the full-screen twin are checked against the formulas in
// FisheyeReference_test.cpp; here the views' directions go there and back.
TEST(FisheyeEngine, ModeFromTextAndFullScreenTwinKeepTheViews) {
  const std::pair<const char*, int> cases[] = {{"NONE", 0}, {"PTZ", 1},      {"360", 5},
                                               {"4PTZ", 7}, {"PANORAMA", 9}, {"PANOPTZ", 11}};
  for (const auto& [text, mode] : cases) {
    SCOPED_TRACE(text);
    FisheyeEngine engine;
    EXPECT_TRUE(engine.setModeFromText(text));
    EXPECT_FALSE(engine.setModeFromText("ptz"));
    EXPECT_EQ(engine.mode(), mode);
    // Several views start out looking to different sides.
    const int views = perspectiveViewCount(mode);
    if (views > 1) EXPECT_EQ(engine.view(views - 1).pan, 360 - 360 / views);
    engine.view(0) = {123, 40, 5};
    engine.setFullScreen(true);
    EXPECT_EQ(engine.mode(), mode == 0 ? 0 : mode + 1);
    EXPECT_EQ(std::pair(engine.view(0).pan, engine.view(0).zoomIndex), std::pair(123, 5));
    engine.view(0).tilt = 60;
    engine.setFullScreen(false);
    EXPECT_EQ(engine.mode(), mode);
    EXPECT_EQ(engine.view(0).tilt, 60);
  }
}

TEST(FisheyeEngine, PerspectiveGeometryEdgeCases) {
  const FisheyePicture sensor = test::smoothPicture(kSensorWidth, kSensorHeight);
  FisheyeEngine engine = engineIn("PTZ");
  engine.setSensorClass(kFullSensor);
  ASSERT_TRUE(dewarp(engine, sensor).ok);
  // The view's middle looks at the lens centre, one pixel up and left.
  EXPECT_EQ(engine.mapEntry(320, 240), (971 * kSensorWidth + 1295) * 3);

  auto pictureAt = [&](int pan, int tilt, int zoomIndex) {
    engine.view(0) = {pan, tilt, zoomIndex};
    return dewarp(engine, sensor).bits;
  };
  EXPECT_EQ(pictureAt(10, -30, 2), pictureAt(190, 30, 2));
  EXPECT_EQ(pictureAt(0, 40, 12), pictureAt(0, 40, 9));
  EXPECT_EQ(pictureAt(0, 40, -1), pictureAt(0, 40, 0));
  EXPECT_NE(pictureAt(0, 40, 0), pictureAt(0, 40, 9));

  // A y centre is given from the sensor's far edge (100 is row 1844); a flip brings it back.
  engine.setCentreY(100);
  engine.setOrientation(kFlip);
  engine.view(0) = {};
  ASSERT_TRUE(dewarp(engine, sensor).ok);
  EXPECT_EQ(engine.mapEntry(320, 240), (99 * kSensorWidth + 1295) * 3);
}

TEST(FisheyeEngine, QuadRebuildsOnlyTheChangedViewAndIdleFramesNothing) {
  const FisheyePicture picture = test::smoothPicture(1920, 1080);
  FisheyeEngine engine = engineIn("4PTZ", {0, 0, 641, 481});
  for (int i = 0; i < 4; ++i) engine.view(i) = {90 * i, 45, 2};
  const test::Dewarped before = dewarp(engine, picture);
  ASSERT_TRUE(before.ok);
  const uint64_t version = engine.mapVersion();
  for (int i = 0; i < 100; ++i) dewarp(engine, picture);
  EXPECT_EQ(engine.mapVersion(), version);

  engine.view(2).pan = 300;  // view 2: the lower left quadrant, stored first
  const test::Dewarped after = dewarp(engine, picture);
  EXPECT_GT(engine.mapVersion(), version);
  int changedInside = 0, changedOutside = 0;
  for (int y = 0; y < 481; ++y) {
    for (int x = 0; x < 641; ++x) {
      const uint8_t* b = &before.bits[(size_t(y) * 641 + x) * 3];
      const uint8_t* a = &after.bits[(size_t(y) * 641 + x) * 3];
      (x < 320 && y < 240 ? changedInside : changedOutside) += !std::equal(a, a + 3, b);
      if (x == 320 || y == 240) EXPECT_EQ(a[0] | a[1] | a[2], 0) << x << "," << y;  // bands
    }
  }
  EXPECT_GT(changedInside, 0);
  EXPECT_EQ(changedOutside, 0);
}

TEST(FisheyeEngine, HostileSizesAndCalibrationsStayInBounds) {
  const FisheyePicture odd = test::smoothPicture(1366, 767);
  const FisheyePicture black(1920, 1080);
  struct Case {
    Rect video;
    int32_t centreX, centreY, diameter;
    bool fullScreen;
    const FisheyePicture& picture;
  };
  const Case cases[] = {
      {{0, 0, 640, 480}, 1296, 972, 1944, true, odd},  // 3840x2160 full screen
      {{0, 0, 3840, 2160}, 1296, 972, 1944, false, odd},
      {{3, 1, 1366, 1}, 1296, 972, 1944, false, odd},  // one pixel high
      {{0, 0, 1366, 768}, INT_MIN, INT_MIN, INT_MIN, false, odd},
      {{0, 0, 1366, 768}, INT_MAX, INT_MAX, INT_MAX, false, odd},
      {{0, 0, 1366, 768}, 1296, 972, 0, false, black},
      {{0, 0, 1366, 768}, 1296, 972, 0, false, odd},  // no circle: black panoramas
      {{0, 0, 1366, 768}, 1296, 972, -5, false, odd},
      {{0, 0, 0, 0}, 1296, 972, 1944, false, odd},  // no output area
  };
  for (const char* mode : {"PTZ", "360", "4PTZ", "PANORAMA", "PANOPTZ"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << mode << " " << c.video.width << "x" << c.video.height
                                      << " centre " << c.centreX << " diameter " << c.diameter);
      FisheyeEngine engine = engineIn(mode, c.video);
      engine.setFullScreenClient(3840, 2160);
      engine.setCentreX(c.centreX);
      engine.setCentreY(c.centreY);
      engine.setDiameter(c.diameter);
      engine.setFullScreen(c.fullScreen);
      const test::Dewarped out = dewarp(engine, c.picture);
      EXPECT_EQ(out.ok, !c.video.empty());
      if (!out.ok) continue;
      EXPECT_LE(out.bits.size(), kDisplayPictureBytes);
      if (c.video.width == 3840) {  // scaled down to fit, keeping its shape
        EXPECT_NEAR(double(out.header.biWidth) / out.header.biHeight, 3840.0 / 2160, 0.01);
      }
      const bool panorama = std::string_view(mode) == "360" || std::string_view(mode) == "PANORAMA";
      if (c.centreX != 1296 || &c.picture == &black || (c.diameter <= 0 && panorama)) {
        EXPECT_TRUE(allBlack(out.bits));
      }
    }
  }
}

TEST(FisheyeEngine, CalibrationFindsTheDisc) {
  const int cases[][5] = {{1920, 1080, 960, 540, 1000}, {1366, 768, 600, 400, 700}};
  for (const auto& [width, height, x, y, diameter] : cases) {
    const FisheyePicture picture = test::discPicture(width, height, x, y, diameter);
    FisheyeEngine engine;
    const FisheyeCircle circle = engine.calibrate(picture.header, picture.bits.data());
    EXPECT_NEAR(circle.centreX, x, 1);
    EXPECT_NEAR(circle.centreY, y, 1);
    EXPECT_NEAR(circle.diameter, diameter, 2);
  }
  const FisheyePicture black(641, 480);
  FisheyeEngine engine;
  EXPECT_EQ(engine.calibrate(black.header, black.bits.data()), (FisheyeCircle{320, 240, 0}));
}

}  // namespace
}  // namespace vexa
