#include "display/fisheye/FisheyeEngine.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "display/fisheye/FisheyePictures.h"

namespace vexa {
namespace {

using test::FisheyePicture;

struct Dewarped {
  bool ok = false;
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> bits;
};

Dewarped dewarp(FisheyeEngine& engine, const FisheyePicture& picture,
                size_t capacity = kDisplayPictureBytes) {
  Dewarped out;
  // Exactly the size the engine plans, so that a write past it is caught.
  const FisheyeEngine::OutputPlan plan = engine.planOutput(capacity);
  out.bits.resize(std::max<size_t>(1, size_t(plan.width) * size_t(plan.height) * 3));
  out.ok = engine.dewarp(picture.header, picture.bits.data(), out.bits.data(), out.bits.size(),
                         out.header);
  return out;
}

FisheyeEngine engineIn(const char* mode, Rect video = {0, 0, 640, 480}) {
  FisheyeEngine engine;
  engine.setModeFromText(mode);
  engine.setWindowVideoRect(video);
  return engine;
}

TEST(FisheyeEngine, ModeFromTextAndFullScreenTwin) {
  const std::pair<const char*, int> cases[] = {{"NONE", 0}, {"PTZ", 1},      {"360", 5},
                                               {"4PTZ", 7}, {"PANORAMA", 9}, {"PANOPTZ", 11}};
  for (const auto& [text, mode] : cases) {
    FisheyeEngine engine;
    EXPECT_TRUE(engine.setModeFromText(text));
    EXPECT_FALSE(engine.setModeFromText("ptz"));
    EXPECT_EQ(engine.mode(), mode) << text;
    engine.setFullScreen(true);
    EXPECT_EQ(engine.mode(), mode == 0 ? 0 : mode + 1) << text;
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

  // A y centre is given from the sensor's far edge; a flip brings it back.
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
  const Dewarped before = dewarp(engine, picture);
  ASSERT_TRUE(before.ok);
  const uint64_t version = engine.mapVersion();
  for (int i = 0; i < 100; ++i) dewarp(engine, picture);
  EXPECT_EQ(engine.mapVersion(), version);

  engine.view(2).pan = 300;  // view 2: the lower left quadrant, stored first
  const Dewarped after = dewarp(engine, picture);
  EXPECT_GT(engine.mapVersion(), version);
  const int hw = 320, hh = 240;
  int changedInside = 0, changedOutside = 0;
  for (int y = 0; y < 481; ++y) {
    for (int x = 0; x < 641; ++x) {
      const size_t i = (size_t(y) * 641 + x) * 3;
      const bool differs =
          before.bits[i] != after.bits[i] || before.bits[i + 1] != after.bits[i + 1];
      const bool inside = x < hw && y < hh;
      (inside ? changedInside : changedOutside) += differs;
      // The separating bands are black.
      if ((x >= hw && x < 641 - hw) || (y >= hh && y < 481 - hh)) {
        EXPECT_EQ(after.bits[i] | after.bits[i + 1] | after.bits[i + 2], 0) << x << "," << y;
      }
    }
  }
  EXPECT_GT(changedInside, 0);
  EXPECT_EQ(changedOutside, 0);
}

TEST(FisheyeEngine, FullScreenTwinKeepsViewsShapeAndFieldOfView) {
  const FisheyePicture picture = test::smoothPicture(1920, 1080);
  FisheyeEngine engine = engineIn("PTZ", {0, 0, 400, 300});
  engine.setFullScreenClient(1366, 768);
  engine.view(0) = {123, 40, 5};
  ASSERT_TRUE(dewarp(engine, picture).ok);
  const int32_t windowMiddle = engine.mapEntry(200, 150);
  const int32_t windowEdge = engine.mapEntry(399, 150);

  engine.setFullScreen(true);
  EXPECT_EQ(engine.view(0).pan, 123);
  EXPECT_EQ(engine.view(0).zoomIndex, 5);
  const Dewarped full = dewarp(engine, picture);
  ASSERT_TRUE(full.ok);
  EXPECT_EQ(int(full.header.biWidth), 1024);  // 768 high at the window's 4:3
  EXPECT_EQ(int(full.header.biHeight), 768);
  EXPECT_EQ(engine.mapEntry(512, 384), windowMiddle);
  // The right edge shows what the window's right edge showed, give or take a pixel.
  const int32_t fullEdge = engine.mapEntry(1023, 384);
  EXPECT_NEAR(fullEdge % (1920 * 3) / 3, windowEdge % (1920 * 3) / 3, 3);
  EXPECT_NEAR(fullEdge / (1920 * 3), windowEdge / (1920 * 3), 3);

  engine.view(0).tilt = 60;
  engine.setFullScreen(false);
  EXPECT_EQ(engine.mode(), kFisheyePtz);
  EXPECT_EQ(engine.view(0).tilt, 60);
}

TEST(FisheyeEngine, HostileSizesAndCalibrationsStayInBounds) {
  const FisheyePicture odd = test::smoothPicture(1366, 767);
  const FisheyePicture black(1920, 1080);
  const char* modes[] = {"PTZ", "360", "4PTZ", "PANORAMA", "PANOPTZ"};
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
      {{0, 0, 0, 0}, 1296, 972, 1944, false, odd},  // no output area
  };
  for (const char* mode : modes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << mode << " " << c.video.width << "x" << c.video.height
                                      << " centre " << c.centreX << " diameter " << c.diameter);
      FisheyeEngine engine = engineIn(mode, c.video);
      engine.setFullScreenClient(3840, 2160);
      engine.setCentreX(c.centreX);
      engine.setCentreY(c.centreY);
      engine.setDiameter(c.diameter);
      engine.setFullScreen(c.fullScreen);
      const Dewarped out = dewarp(engine, c.picture);
      EXPECT_EQ(out.ok, !c.video.empty());
      if (!out.ok) continue;
      EXPECT_LE(out.bits.size(), kDisplayPictureBytes);
      if (c.video.width == 3840) {  // scaled down to fit, keeping its shape
        EXPECT_NEAR(double(out.header.biWidth) / out.header.biHeight, 3840.0 / 2160, 0.01);
      }
      const bool calibrationAbsurd = c.centreX != 1296 || c.picture.bits == black.bits;
      if (calibrationAbsurd) {
        EXPECT_EQ(std::count(out.bits.begin(), out.bits.end(), 0), ptrdiff_t(out.bits.size()));
      }
    }
  }
}

TEST(FisheyeEngine, NoCircleMeansBlackPanorama) {
  const FisheyePicture picture = test::smoothPicture(1920, 1080);
  for (int diameter : {0, -5}) {
    FisheyeEngine engine = engineIn("PANORAMA");
    engine.setDiameter(diameter);
    const Dewarped out = dewarp(engine, picture);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(std::count(out.bits.begin(), out.bits.end(), 0), ptrdiff_t(out.bits.size()));
  }
}

TEST(FisheyeEngine, CalibrationFindsTheDisc) {
  struct Case {
    int width, height, centreX, centreY, diameter;
  };
  const Case cases[] = {{1920, 1080, 960, 540, 1000}, {1366, 768, 600, 400, 700}};
  for (const Case& c : cases) {
    const FisheyePicture picture =
        test::discPicture(c.width, c.height, c.centreX, c.centreY, c.diameter);
    FisheyeEngine engine;
    const FisheyeCircle circle = engine.calibrate(picture.header, picture.bits.data());
    EXPECT_NEAR(circle.centreX, c.centreX, 1);
    EXPECT_NEAR(circle.centreY, c.centreY, 1);
    EXPECT_NEAR(circle.diameter, c.diameter, 2);
  }
  const FisheyePicture black(641, 480);
  FisheyeEngine engine;
  EXPECT_EQ(engine.calibrate(black.header, black.bits.data()), (FisheyeCircle{320, 240, 0}));
}

}  // namespace
}  // namespace vexa
