#include "display/PtzMouse.h"

#include <gtest/gtest.h>

#include <cstring>

#include "display/CImgDlg.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/FakePtzChannel.h"
#include "support/Picture.h"

namespace vexa {
namespace {

using Targets = std::vector<std::string>;
constexpr uint32_t kRed = 0xFF0000;  // canvas pixels, 0x00RRGGBB
constexpr uint32_t kGreen = 0x00FF00;

// A stream with one green picture.
class OnePictureView final : public StreamView {
 public:
  test::Picture picture = test::Picture::solid(64, 48, kGreen);
  bool hasPlayer() const override { return true; }
  uint32_t GetFrameNumber() override { return 1; }
  bool LockCurImage(bool) override { return true; }
  void UnlockCurImage() override {}
  bool IsH264Model() override { return false; }
  bool IsMpeg4Model() override { return true; }
  bool GetJpegFrame(const uint8_t**, int32_t*) override { return false; }
  int32_t GetH264Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) override { return -1; }
  int32_t LendH264Frame(PictureLease*, BITMAPINFOHEADER*) override { return -1; }
  int32_t GetMpeg4Frame(uint8_t* image, int32_t*, BITMAPINFOHEADER* info) override {
    *info = picture.header;
    if (image != nullptr) std::memcpy(image, picture.bits.data(), picture.bits.size());
    return 0;
  }
  StreamFigures readFigures() override { return {}; }
  void stopPlayer() override {}
  void restartPlayer() override {}
};

// A 640 x 480 window: its video rectangle is (2, 2, 636, 476), centred on (320, 240).
class PtzWindowTest : public testing::Test {
 protected:
  PtzWindowTest() {
    window.ptzSender().setChannel(test::FakePtzChannel::into(log));
    window.ptzSender().setStream("127.0.0.1", "jpeg");
    window.create();
    draws(1);
  }
  void camera(const char* model, int enPt, int enCenter, int enZoom) {
    window.ptz().SetModel(model);
    window.ptz().SetEnPt(enPt);
    window.ptz().SetEnCenter(enCenter);
    window.ptz().SetEnZoom(enZoom);
  }
  // Each step of 50 ms draws once.
  void draws(int count) {
    for (int i = 0; i < count; ++i) advance(CImgDlg::kRedrawIntervalMs);
  }
  void advance(uint32_t ms) {
    clock.advance(ms);
    loop.runDue();
  }
  uint32_t pixel(int x, int y) const { return window.presentCanvas().pixel(x, y); }

  test::PtzChannelLog log;
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  OnePictureView view;
  CImgDlg window{&view, {}, loop, 640, 480};
};

TEST_F(PtzWindowTest, AHeldButtonPansAfterTenDrawsOnlyOnceAndReleaseStops) {
  camera("TQ330", 1, 0, 0);
  window.onLeftButtonDown(637, 240);
  EXPECT_EQ(window.cursorState(), (CursorState{.hidden = true, .captured = true}));
  draws(10);
  EXPECT_TRUE(log.targets.empty());
  draws(20);
  EXPECT_EQ(log.targets, Targets{"continuouspantiltmove=99,0"});
  window.onLeftButtonUp(637, 240);
  EXPECT_EQ(log.targets, (Targets{"continuouspantiltmove=99,0", "continuouspantiltmove=0,0"}));
  EXPECT_EQ(window.cursorState(), CursorState{});
  // Overlays take the button; a camera without pan/tilt never had it.
  window.ptz().setOverlaysExist(true);
  window.onLeftButtonDown(637, 240);
  draws(20);
  window.ptz().setOverlaysExist(false);
  camera("TQ310", 1, 0, 0);
  window.onLeftButtonDown(637, 240);
  draws(20);
  window.onLeftButtonUp(637, 240);
  EXPECT_EQ(log.targets.size(), 2u);
}

TEST_F(PtzWindowTest, TheDirectionPointerPointsAwayFromTheCentre) {
  camera("TQ320", 1, 0, 0);
  window.onLeftButtonDown(420, 240);
  draws(1);
  EXPECT_EQ(std::tuple(pixel(420, 240), pixel(412, 236), pixel(412, 244), pixel(405, 240)),
            std::tuple(kRed, kRed, kRed, kRed));
  EXPECT_EQ(std::tuple(pixel(405, 234), pixel(405, 246), pixel(430, 240)),
            std::tuple(kGreen, kGreen, kGreen));
  window.onLeftButtonUp(420, 240);
  draws(1);
  EXPECT_EQ(pixel(420, 240), kGreen);
}

TEST_F(PtzWindowTest, ACentreModeClickInTheVideoAsksTheCameraToCentreThere) {
  camera("TQ330", 1, 1, 0);
  window.OnCommand(kCommandCentreMode);
  EXPECT_EQ(window.cursorState(), CursorState{.shape = CursorShape::kCross});
  window.onLeftButtonDown(1, 1);  // on the border
  window.onLeftButtonDown(100, 50);
  draws(20);
  window.onLeftButtonUp(100, 50);
  EXPECT_EQ(log.targets, Targets{"center=98,48&imageheight=476&imagewidth=636&stream=jpeg"});
  window.OnCommand(kCommandJoystickMode);
  EXPECT_EQ(window.cursorState(), CursorState{});
}

TEST_F(PtzWindowTest, TwoNotchesZoomOnceAndStopHalfASecondAfterTheLast) {
  camera("TQ330", 1, 0, 1);
  window.onMouseWheel(120);
  EXPECT_TRUE(log.targets.empty()) << "only while focused";
  window.setFocused(true);
  window.onMouseWheel(120);
  advance(300);
  window.onMouseWheel(120);
  uint32_t sinceLastNotch = 0;
  while (log.targets.size() < 2 && sinceLastNotch < 1000) {
    advance(CImgDlg::kDrawPeriodMs);
    sinceLastNotch += CImgDlg::kDrawPeriodMs;
  }
  EXPECT_EQ(log.targets, (Targets{"continuouszoommove=70", "continuouszoommove=0"}));
  EXPECT_GE(sinceLastNotch, 500u);
  EXPECT_LE(sinceLastNotch, 600u);
}

TEST_F(PtzWindowTest, FullScreenZoomsTheCameraUntilItsZoomIsDigital) {
  camera("TQ320", 1, 0, 1);
  window.setDesktopSize(640, 480);
  window.FullScreen();
  log.response = "zoomposition=800";
  for (int i = 0; i < 3; ++i) window.onMouseWheel(120);
  draws(12);
  EXPECT_EQ(log.targets,
            (Targets{"continuouszoommove=70", "query=position", "continuouszoommove=0"}));
  EXPECT_EQ(window.fullScreenWindow()->zoom().zoom(), 1);
  for (int i = 0; i < 3; ++i) window.onMouseWheel(120);
  EXPECT_EQ(window.fullScreenWindow()->zoom().zoom(), 2);
  // The right button now drags the digital zoom, and its menu leads back.
  window.onRightButtonDown(100, 100);
  window.onMouseMove(140, 100);
  window.onRightButtonUp(140, 100);
  EXPECT_EQ(window.takeContextMenu().id, 208);
  draws(1);
  EXPECT_EQ(window.fullScreenWindow()->zoom().offsetX(), 8);  // 40 x 64 x 2 / 640 picture pixels
}

TEST(PtzMouse, ModelAndSwitchesDecideTheMenus) {
  const struct {
    const char* model;
    int enPt, enCenter;
    int windowMenu, fullScreenMenu;
  } cameras[] = {
      {"TQ320", 0, 0, 207, 208}, {"TQ330", 1, 0, 206, 205}, {"TQ330", 1, 1, 209, 210},
      {"TQ330", 0, 1, 0, 0},     {"TQ310", 1, 1, 0, 0},
  };
  for (const auto& camera : cameras) {
    PtzSender sender;
    PtzMouse ptz(sender);
    ptz.SetModel(camera.model);
    ptz.SetEnPt(camera.enPt);
    ptz.SetEnCenter(camera.enCenter);
    EXPECT_EQ(std::pair(ptz.windowMenu().id, ptz.fullScreenMenu().id),
              std::pair(camera.windowMenu, camera.fullScreenMenu))
        << camera.model << camera.enPt << camera.enCenter;
  }
  PtzSender sender;
  PtzMouse ptz(sender);
  ptz.SetEnPt(5);
  ptz.SetEnZoom(1);
  ptz.SetModel("TQ330");
  ptz.SetEnPt(-1);
  ptz.SetEnCenter(1);
  ptz.onCommand(kCommandCentreMode);
  EXPECT_EQ(ptz.windowMenu().items,
            (std::vector<MenuItem>{{kCommandFullScreen, "full screen"},
                                   {kCommandJoystickMode, "Set emulated joystick mode"}}));
  ptz.SetModel("TQ310");
  EXPECT_EQ(std::tuple(ptz.enPt(), ptz.enZoom(), ptz.ptzCapable()), std::tuple(false, false, true));
}

TEST(PtzMouse, SpeedsGrowWithTheDistanceFromTheCentreOutsideTheDeadZones) {
  const Rect video{2, 2, 636, 476};
  const struct {
    Rect video;
    int x, y, pan, tilt;
  } cases[] = {
      {video, 637, 240, 99, 0},
      {video, 327, 233, 0, 0},
      {video, 328, 232, 2, 3},
      {video, 2, 477, -100, -99},
      {video, 320, 2, 0, 100},
      {{0, 0, 2000, 2000}, 1009, 991, 0, 0},
      {{0, 0, 2000, 2000}, 1010, 990, 1, 1},
      {{10, 10, 0, 0}, 50, 50, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(joystickSpeeds(c.video, c.x, c.y), std::pair(c.pan, c.tilt)) << c.x << "," << c.y;
  }
}

}  // namespace
}  // namespace vexa
