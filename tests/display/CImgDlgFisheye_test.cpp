#include <gtest/gtest.h>

#include <vector>

#include "display/CImgDlg.h"
#include "display/fisheye/FisheyePictures.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/FakeStreamView.h"

namespace vexa {
namespace {

class CImgDlgFisheyeTest : public testing::Test {
 protected:
  CImgDlgFisheyeTest() {
    view.mpeg4 = true;
    window.create();
  }
  void deliver(const test::FisheyePicture& picture) {
    view.picture = test::Picture{picture.header, picture.bits};
    ++view.frameNumber;
    run(10);
  }
  void run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += CImgDlg::kDrawPeriodMs) {
      clock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
    }
  }
  std::vector<uint32_t> shown() const {
    std::vector<uint32_t> pixels;
    for (int y = 10; y < 230; y += 7)
      for (int x = 10; x < 310; x += 7) pixels.push_back(window.presentCanvas().pixel(x, y));
    return pixels;
  }

  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  test::FakeStreamView view;
  CImgDlg window{&view, nullptr, loop, 320, 240};
};

TEST_F(CImgDlgFisheyeTest, ModeAndRotationResults) {
  EXPECT_EQ(window.SetFisheyeMode("NONE"), 1);
  window.SetFisheyeCentreY(100);  // any calibration setter creates the engine
  EXPECT_EQ(window.SetFisheyeMode("NONE"), 0);
  const std::pair<const char*, int> modes[] = {
      {"PTZ", kFisheyePtz}, {"ptz", kFisheyePtz}, {"4PTZ", kFisheyeQuad}, {"NONE", kFisheyeNone}};
  for (const auto& [text, mode] : modes) {
    EXPECT_EQ(window.SetFisheyeMode(text), 0);
    EXPECT_EQ(window.fisheyeEngine()->mode(), mode) << text;
  }
  const std::pair<const char*, int> rotations[] = {
      {"clockwise", 5}, {"FLIP", 1}, {"Mirror", 1}, {"COUNTERCLOCKWISE", 4}, {"normal", 0}};
  for (const auto& [text, rotation] : rotations) {
    EXPECT_EQ(window.SetRotation(text), 0);
    EXPECT_EQ(window.rotation(), rotation) << text;
  }
}

TEST_F(CImgDlgFisheyeTest, ClickAndWheelSteerTheViewAndTheSnapshotIsDewarped) {
  window.SetSensorMode("1920x1080");
  window.SetFisheyeMode("PTZ");
  deliver(test::smoothPicture(1920, 1080));
  // The video rectangle (2, 2, 316, 236): the view's picture reaches its far corner.
  EXPECT_EQ(std::pair(int(window.pictureHeader().biWidth), int(window.pictureHeader().biHeight)),
            std::pair(318, 238));
  const std::vector<uint32_t> before = shown();
  const int fetches = view.fetchCalls;
  window.onLeftButtonDown(60, 50);
  window.onLeftButtonUp(60, 50);
  run(400);
  EXPECT_EQ(view.fetchCalls, fetches);  // redrawn without a new picture
  EXPECT_NE(window.fisheyeEngine()->view(0).tilt, 0);
  EXPECT_NE(shown(), before);

  // The wheel zooms the view in both windows, not the full-screen window's digital zoom.
  window.setFocused(true);
  window.onMouseWheel(120);
  run(60);
  EXPECT_EQ(window.fisheyeEngine()->view(0).zoomIndex, 3);
  window.FullScreen();
  for (int notch = 0; notch < 3; ++notch) window.onMouseWheel(-120);
  run(60);
  EXPECT_EQ(window.fisheyeEngine()->view(0).zoomIndex, 2);
  EXPECT_EQ(window.fullScreenWindow()->zoom().zoom(), 1);
}

TEST_F(CImgDlgFisheyeTest, CalibrationIsServedInTheNextDrawCycle) {
  window.FishEyeCalibrate();
  deliver(test::discPicture(1280, 720, 600, 350, 640));
  const FisheyeCircle circle = window.fisheyeCalibration();
  EXPECT_NEAR(circle.centreX, 600, 1);
  EXPECT_NEAR(circle.centreY, 350, 1);
  EXPECT_NEAR(circle.diameter, 640, 2);
}

}  // namespace
}  // namespace vexa
