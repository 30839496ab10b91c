#include "display/fisheye/FisheyeViewControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "display/fisheye/FisheyePictures.h"

namespace vexa {
namespace {

constexpr Rect kVideo{0, 0, 640, 480};
constexpr uint32_t kDrawMs = 50;

// An engine that has dewarped a 1920 x 1080 picture, so that its maps exist.
struct Rig {
  FisheyeEngine engine;
  FisheyeViewControl control{engine};
  test::FisheyePicture picture = test::smoothPicture(1920, 1080);
  uint32_t now = 1000;

  explicit Rig(const char* mode) : engine(test::engineIn(mode, kVideo)) { dewarp(); }
  void dewarp() { ASSERT_TRUE(test::dewarp(engine, picture).ok); }
  void drawFor(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += kDrawMs) {
      now += kDrawMs;
      control.step(now, kVideo, nullptr);
    }
  }
  // The output pixel (stored rows) inside area whose source is nearest the given entry's.
  std::pair<int, int> find(int32_t entry, const Rect& area) const {
    const int stride = picture.header.biWidth * 3;
    const int ex = entry % stride / 3, ey = entry / stride;
    double best = std::numeric_limits<double>::max();
    std::pair<int, int> at{-1, -1};
    for (int y = area.y; y < area.bottom(); ++y) {
      for (int x = area.x; x < area.right(); ++x) {
        const int32_t e = engine.mapEntry(x, y);
        if (e < 0) continue;
        const double d = std::hypot(e % stride / 3 - ex, e / stride - ey);
        if (d < best) best = d, at = {x, y};
      }
    }
    return at;
  }
};

TEST(FisheyeViewControl, HoldSteersTheActiveViewClickWaits) {
  struct Case {
    const char* name;
    const char* mode;
    int startPan, startTilt;
    int pressX, pressY, moveX, moveY;
    uint32_t holdMs;
    int view, pan, tilt;
  };
  const Case cases[] = {
      // Two joystick steps of 9 degrees after the 500 ms click test; pan wraps past 360.
      {"RightEdgeWrapsPan", "PTZ", 355, 0, 639, 240, 639, 240, 1400, 0, 13, 0},
      {"TopEdgeClampsTilt", "PTZ", 0, 85, 320, 0, 320, 0, 1400, 0, 0, 90},
      {"InvertedTilt", "PTZ", 0, -30, 320, 0, 320, 0, 1400, 0, 0, -50},
      {"DeadZone", "PTZ", 0, 0, 327, 233, 327, 233, 1400, 0, 0, 0},
      {"NinePixelsMakeAJoystickAtOnce", "PTZ", 0, 0, 630, 240, 639, 240, 400, 0, 9, 0},
      {"EightPixelsMayStillBeAClick", "PTZ", 0, 0, 631, 240, 639, 240, 400, 0, 0, 0},
      // The lower right quadrant steers view 3 at half speed from its own centre.
      {"QuadrantSteersItsView", "4PTZ", 0, 0, 639, 479, 639, 479, 1400, 3, 8, -8},
      {"QuadrantLeavesOthers", "4PTZ", 0, 0, 639, 479, 639, 479, 1400, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.mode);
    for (int i = 0; i < kMaxFisheyeViews; ++i) {
      rig.engine.view(i).pan = c.startPan;
      rig.engine.view(i).tilt = c.startTilt;
    }
    rig.control.buttonDown(c.pressX, c.pressY, kVideo, rig.now);
    rig.control.move(c.moveX, c.moveY, kVideo);
    rig.drawFor(c.holdMs);
    EXPECT_EQ(rig.engine.view(c.view).pan, c.pan);
    EXPECT_EQ(rig.engine.view(c.view).tilt, c.tilt);
  }
}

TEST(FisheyeViewControl, CursorPendingZoomAndDoubleClick) {
  Rig rig("PTZ");
  rig.control.move(100, 100, kVideo);
  EXPECT_EQ(rig.control.cursor(), (CursorState{.shape = CursorShape::kCross}));
  rig.control.buttonDown(100, 100, kVideo, rig.now);
  for (int i = 0; i < 12; ++i) rig.control.wheel(+1);
  rig.drawFor(600);  // held: a joystick now, and the zoom waits
  EXPECT_EQ(rig.control.cursor(), (CursorState{.hidden = true, .captured = true}));
  EXPECT_EQ(rig.engine.view(0).zoomIndex, FisheyeViewState::kDefaultZoomIndex);
  rig.control.doubleClick();
  rig.drawFor(kDrawMs);
  EXPECT_EQ(rig.engine.view(0).zoomIndex, 9);
  EXPECT_FALSE(rig.control.joystickMode());
  for (int i = 0; i < 20; ++i) rig.control.wheel(-3);
  rig.drawFor(kDrawMs);
  EXPECT_EQ(rig.engine.view(0).zoomIndex, 0);
}

TEST(FisheyeViewControl, WheelZoomsTheQuadrantUnderTheCursor) {
  Rig rig("4PTZ");
  rig.control.move(500, 100, kVideo);
  rig.control.wheel(+1);
  rig.drawFor(kDrawMs);
  EXPECT_EQ(rig.engine.view(1).zoomIndex, FisheyeViewState::kDefaultZoomIndex + 1);
  EXPECT_EQ(rig.engine.view(0).zoomIndex, FisheyeViewState::kDefaultZoomIndex);
}

TEST(FisheyeViewControl, DragTurnsThe360Band) {
  Rig rig("360");
  rig.control.buttonDown(300, 200, kVideo, rig.now);
  EXPECT_TRUE(rig.control.move(236, 200, kVideo));  // 64 px left: +18 degrees
  EXPECT_EQ(rig.engine.view(0).pan, 18);
  EXPECT_TRUE(rig.control.move(364, 200, kVideo));  // 128 px right: -36, wrapped
  EXPECT_EQ(rig.engine.view(0).pan, 342);
  rig.control.buttonUp();
  EXPECT_FALSE(rig.control.move(300, 200, kVideo));
  EXPECT_EQ(rig.control.cursor(), CursorState{});
}

// A click centres the clicked scene point; a hold in a rolled view of the panorama mode turns
// that view towards the cursor.
TEST(FisheyeViewControl, ViewsTurnTowardsThePointer) {
  struct Case {
    const char* mode;
    int x, y;
    bool click;
  };
  const Case cases[] = {
      {"PTZ", 100, 100, true},      {"PTZ", 500, 400, true},      {"PTZ", 320, 50, true},
      {"PTZ", 600, 240, true},      {"PANOPTZ", 319, 360, false}, {"PANOPTZ", 1, 360, false},
      {"PANOPTZ", 160, 300, false}, {"PANOPTZ", 160, 440, false}, {"PANOPTZ", 280, 300, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.x << "," << c.y);
    Rig rig(c.mode);
    // Stored rows of the view: all of PTZ, the lower left quarter on screen of the panorama mode.
    const Rect area = c.click ? kVideo : Rect{0, 0, 320, 240};
    if (!c.click) {
      rig.engine.view(0).tilt = 40;
      rig.dewarp();
    }
    const int row = kVideo.height - 1 - c.y;
    const int32_t entry = rig.engine.mapEntry(c.x, row);
    ASSERT_GE(entry, 0);
    rig.control.buttonDown(c.x, c.y, kVideo, rig.now);
    if (c.click) rig.control.buttonUp();
    rig.drawFor(c.click ? 400 : 1400);
    rig.dewarp();
    const auto [x, y] = rig.find(entry, area);
    const int cx = area.width / 2, cy = area.height / 2;
    if (c.click) {  // whole degrees: about 4 px of this view, so up to 2 px off in each axis
      EXPECT_LE(std::abs(x - cx), 2);
      EXPECT_LE(std::abs(y - cy), 2);
    } else {
      EXPECT_LT(std::hypot(x - cx, y - cy), std::hypot(c.x - cx, row - cy) - 10);
    }
  }
}

}  // namespace
}  // namespace vexa
