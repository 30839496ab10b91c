#include "viewer/ViewerFisheye.h"

#include <gtest/gtest.h>

#include <sstream>

#include "display/CImgDlg.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/FakeStreamView.h"

namespace vexa::viewer {
namespace {

// A lit disc of diameter 200 in the middle of a 320 x 240 picture.
test::Picture discPicture() {
  constexpr int kWidth = 320, kHeight = 240, kRadius = 100;
  test::Picture picture{makeBgrPictureHeader(kWidth, kHeight),
                        std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double dx = x + 0.5 - kWidth / 2, dy = y + 0.5 - kHeight / 2;
      if (dx * dx + dy * dy <= kRadius * kRadius) picture.bits[(size_t(y) * kWidth + x) * 3] = 200;
    }
  }
  return picture;
}

TEST(ViewerFisheye, AppliesTheSettingsAnswersItsKeysAndPrintsTheCircle) {
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  test::FakeStreamView view;
  view.mpeg4 = true;
  CImgDlg window{&view, nullptr, loop, 320, 240};
  window.create();
  const auto run = [&] {
    for (int step = 0; step < 5; ++step) {
      clock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
    }
  };

  FisheyeOptions options;
  options.mode = "PTZ";
  options.view = FisheyeOptions::View{30, 40, 5};
  options.calibrate = true;
  std::ostringstream out;
  ViewerFisheye fisheye(window, options, out);
  EXPECT_FALSE(fisheye.key('c')) << "no fisheye yet: the camera's centre mode has c";
  fisheye.apply();
  FisheyeEngine* engine = window.fisheyeEngine();
  ASSERT_NE(engine, nullptr);
  const FisheyeViewState& shown = engine->view(0);
  EXPECT_EQ(std::tuple(shown.pan, shown.tilt, shown.zoomIndex), std::tuple(30, 40, 5));

  fisheye.poll();
  EXPECT_EQ(out.str(), "") << "nothing found before a picture";
  view.picture = discPicture();
  ++view.frameNumber;
  run();
  fisheye.poll();
  EXPECT_EQ(out.str(), "vexa-viewer: fisheye circle: centre 160,119 diameter 200\n");

  EXPECT_TRUE(fisheye.key('+'));
  run();
  EXPECT_EQ(engine->view(0).zoomIndex, 6);
  for (const int mode : {kFisheye360, kFisheyeQuad, kFisheyePanorama, kFisheyePanoPtz,
                         kFisheyeNone, kFisheyePtz}) {
    EXPECT_TRUE(fisheye.key('m'));
    EXPECT_EQ(engine->mode(), mode);
  }
  EXPECT_FALSE(fisheye.key('x'));
}

}  // namespace
}  // namespace vexa::viewer
