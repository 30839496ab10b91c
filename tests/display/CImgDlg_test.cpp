#include "display/CImgDlg.h"

#include <gtest/gtest.h>

#include "DisplayTestSupport.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"

namespace vexa {
namespace {

using test::fakeJpeg;
using test::FakeStreamView;

constexpr uint32_t kRed = 0xFF0000;  // canvas pixels, 0x00RRGGBB
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kBackground = 0x282828;

class CImgDlgTest : public testing::Test {
 protected:
  CImgDlgTest() { window.create(); }

  // Runs the host's timers for ms milliseconds, in steps of the draw period.
  void run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += CImgDlg::kDrawPeriodMs) {
      clock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
    }
  }
  // Whole seconds at once: each step runs the draw cycle and the tick once.
  void runSeconds(int seconds) {
    for (int i = 0; i < seconds; ++i) {
      clock.advance(1000);
      loop.runDue();
    }
  }
  uint32_t centre() const { return window.presentCanvas().pixel(160, 120); }
  int32_t shownWidth() const { return window.pictureHeader().biWidth; }

  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  FakeStreamView view;
  test::FakeJpegDecoder decoder;
  CImgDlg window{&view,
                 [this](int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
                   return decoder.decode(length, data, image, info);
                 },
                 loop, 320, 240};
};

TEST_F(CImgDlgTest, WithoutAPlayerNothingIsAskedOrDrawn) {
  view.player = false;
  view.frameNumber = 3;
  const uint64_t serial = window.presentSerial();
  run(200);
  EXPECT_EQ(view.lockCalls, 0);
  EXPECT_EQ(view.fetchCalls, 0);
  EXPECT_EQ(window.presentSerial(), serial);
  EXPECT_EQ(centre(), 0u);
}

TEST_F(CImgDlgTest, DarkBackgroundUntilTheFirstPicture) {
  run(10);
  // The video rectangle (2, 2, 316, 236), one pixel wider and taller.
  EXPECT_EQ(window.presentCanvas().pixel(2, 2), kBackground);
  EXPECT_EQ(window.presentCanvas().pixel(318, 238), kBackground);
  EXPECT_EQ(window.presentCanvas().pixel(319, 239), 0u);
  EXPECT_EQ(window.presentCanvas().pixel(1, 1), 0u);
  EXPECT_EQ(view.fetchCalls, 0);
}

TEST_F(CImgDlgTest, DrawsANewPictureWhenTheFrameNumberChanges) {
  view.jpeg = fakeJpeg(kRed, 64, 48);
  view.frameNumber = 1;
  run(5);
  EXPECT_EQ(centre(), kRed);
  EXPECT_EQ(window.info().videoSize(), "64 x 48");

  view.jpeg = fakeJpeg(kGreen, 64, 48);  // same number: not fetched
  run(100);
  EXPECT_EQ(centre(), kRed);
  EXPECT_EQ(decoder.calls, 1);

  view.frameNumber = 2;
  run(5);
  EXPECT_EQ(centre(), kGreen);
  EXPECT_EQ(decoder.calls, 2);
}

TEST_F(CImgDlgTest, UnchangedPictureIsRedrawnEveryFiftyMilliseconds) {
  view.jpeg = fakeJpeg(kRed, 64, 48);
  view.frameNumber = 1;
  run(5);
  const uint64_t drawn = window.presentSerial();
  run(45);
  EXPECT_EQ(window.presentSerial(), drawn);
  run(5);
  EXPECT_EQ(window.presentSerial(), drawn + 1);
  run(50);
  EXPECT_EQ(window.presentSerial(), drawn + 2);
  // Redraws reuse the stretched picture.
  EXPECT_EQ(window.presentCanvas().stretchCount(), 1u);
}

TEST_F(CImgDlgTest, WatchdogRestartsASilentStreamOnceAfterEightySeconds) {
  runSeconds(80);
  EXPECT_EQ(window.secondsWithoutFrames(), 80u);
  EXPECT_EQ(view.stops, 0);
  runSeconds(1);
  EXPECT_EQ(view.stops, 1);
  EXPECT_EQ(view.restarts, 1);
  EXPECT_EQ(window.secondsWithoutFrames(), 0u);
  runSeconds(80);
  EXPECT_EQ(view.stops, 1);
  runSeconds(1);
  EXPECT_EQ(view.stops, 2);
  EXPECT_EQ(view.restarts, 2);
}

TEST_F(CImgDlgTest, AFrameResetsTheWatchdog) {
  view.jpeg = fakeJpeg(kRed, 64, 48);
  runSeconds(60);
  view.frameNumber = 1;
  runSeconds(1);
  EXPECT_EQ(window.secondsWithoutFrames(), 0u);
  runSeconds(80);
  EXPECT_EQ(view.stops, 0);
  runSeconds(1);
  EXPECT_EQ(view.stops, 1);
}

TEST_F(CImgDlgTest, FrameRateValueIsArrivedTimesHundredPlusDrawn) {
  view.jpeg = fakeJpeg(kRed, 64, 48);
  view.frameNumber = 100;
  window.drawCycle();
  window.onTick();

  // 25 pictures arrive in the second, one of them between two draw cycles: 24 drawn.
  for (int i = 0; i < 24; ++i) {
    view.frameNumber += (i == 10) ? 2 : 1;
    window.drawCycle();
  }
  window.info().show();
  window.onTick();
  EXPECT_EQ(window.frameRateValue(), 2524u);
  EXPECT_EQ(window.info().controlText(DlgInfo::kFrameRate), "Network / Display:  25 / 24 fps");

  // An implausible jump (a new stream numbering from elsewhere) counts as no arrivals.
  view.frameNumber += 500;
  window.drawCycle();
  window.onTick();
  EXPECT_EQ(window.frameRateValue(), 1u);
  window.onTick();
  EXPECT_EQ(window.frameRateValue(), 0u);
}

TEST_F(CImgDlgTest, StatisticsWindowShowsTheFiguresAndUrlASecondLate) {
  view.figures.siteExists = true;
  view.figures.model = 12;
  view.figures.audioCodec = 0;
  view.figures.host = "10.0.0.2";
  view.figures.port = 554;
  view.figures.videoKbits = 300;
  view.figures.videoDrop = 2;
  window.OnDoubleClick(10, 10);
  ASSERT_TRUE(window.info().isShown());
  window.onTick();
  EXPECT_EQ(window.info().controlText(DlgInfo::kFormat), "Format: H.264/90000 PCMA/8000/1");
  EXPECT_EQ(window.info().controlText(DlgInfo::kVideoBitrate), "Video bitrate: 300 k");
  EXPECT_EQ(window.info().controlText(DlgInfo::kVideoDrop), "Video drop: 2");
  EXPECT_EQ(window.info().controlText(DlgInfo::kUrl), "Url: ");
  window.onTick();
  EXPECT_EQ(window.info().controlText(DlgInfo::kUrl), "Url: \"rtsp://10.0.0.2/\"");
  EXPECT_EQ(window.info().controlText(DlgInfo::kConnection), "Connection: TCP (RTSP_H264)");
}

TEST_F(CImgDlgTest, DoubleClickShowsStatisticsOnlyWithAPlayer) {
  view.player = false;
  window.OnDoubleClick(5, 5);
  EXPECT_FALSE(window.info().isShown());
  view.player = true;
  window.OnDoubleClick(5, 5);
  EXPECT_TRUE(window.info().isShown());
}

TEST_F(CImgDlgTest, DecodedFramesAreFetchedUntilCaughtUp) {
  view.path = FakeStreamView::Path::kH264;
  view.picture = test::Picture::solid(64, 48, kBlue);
  view.h264Index = 0;
  view.frameNumber = 5;
  run(5);
  EXPECT_EQ(centre(), kBlue);
  run(50);
  EXPECT_EQ(view.fetchCalls, 1);

  // A decode path ahead of the window: one more fetch per cycle until the numbers meet.
  view.h264Index = 4;
  view.frameNumber = 8;
  run(50);
  EXPECT_EQ(view.fetchCalls, 4);
}

TEST_F(CImgDlgTest, FailedFetchOrDecodeKeepsTheShownPicture) {
  view.path = FakeStreamView::Path::kMpeg4;
  view.picture = test::Picture::solid(64, 48, kRed);
  view.frameNumber = 1;
  run(5);
  ASSERT_NE(window.pictureBits(), nullptr);
  view.mpeg4Result = -1;
  view.frameNumber = 2;
  run(5);
  EXPECT_EQ(window.pictureBits()[0], 0x00);  // blue byte of red
  EXPECT_EQ(window.pictureBits()[2], 0xFF);
  EXPECT_EQ(shownWidth(), 64);

  view.path = FakeStreamView::Path::kJpeg;
  view.jpeg = fakeJpeg(kGreen, 32, 32);
  decoder.fail = true;
  view.frameNumber = 3;
  run(5);
  EXPECT_EQ(decoder.calls, 1);
  EXPECT_EQ(window.pictureBits()[2], 0xFF);
  EXPECT_EQ(shownWidth(), 64);
}

TEST_F(CImgDlgTest, OnlyJpegSizesFrom1001To599999AreDecoded) {
  const struct {
    size_t length;
    int decodes;
  } cases[] = {{1000, 0}, {1001, 1}, {599999, 1}, {600000, 0}};
  for (const auto& c : cases) {
    decoder.calls = 0;
    view.jpeg = fakeJpeg(kRed, 16, 16, c.length);
    ++view.frameNumber;
    run(5);
    EXPECT_EQ(decoder.calls, c.decodes) << c.length;
  }
}

TEST_F(CImgDlgTest, DisplayModeNamesAndRealSizeLayout) {
  CImgDlg large(&view, nullptr, loop, 800, 600);
  EXPECT_EQ(large.SetDisplayMode("REALSIZE"), 0);
  EXPECT_EQ(large.SetDisplayMode("stretch"), 1);
  EXPECT_EQ(large.displayMode(), 1);
  EXPECT_EQ(large.SetDisplayMode("STRETCH"), 0);
  EXPECT_EQ(large.displayMode(), 0);
  EXPECT_EQ(large.SetDisplayMode("REALSIZE"), 0);

  view.path = FakeStreamView::Path::kMpeg4;
  view.picture = test::Picture::solid(640, 480, kRed);
  view.frameNumber = 1;
  large.drawCycle();
  const Canvas& canvas = large.presentCanvas();
  EXPECT_EQ(canvas.pixel(79, 300), 0u);
  EXPECT_EQ(canvas.pixel(80, 300), kRed);
  EXPECT_EQ(canvas.pixel(719, 300), kRed);
  EXPECT_EQ(canvas.pixel(720, 300), 0u);
  EXPECT_EQ(canvas.pixel(400, 59), 0u);
  EXPECT_EQ(canvas.pixel(400, 60), kRed);
}

TEST_F(CImgDlgTest, StoppingShowsTheBackgroundAgain) {
  view.jpeg = fakeJpeg(kRed, 64, 48);
  view.frameNumber = 1;
  run(5);
  ASSERT_EQ(centre(), kRed);
  window.stopPainting();
  EXPECT_EQ(centre(), kBackground);
  view.frameNumber = 0;  // the site is gone
  run(100);
  EXPECT_EQ(centre(), kBackground);
}

TEST_F(CImgDlgTest, FullScreenFitsThePictureOnWhiteAndZooms) {
  window.setDesktopSize(640, 360);
  view.jpeg = fakeJpeg(kRed, 320, 240);
  view.frameNumber = 1;
  run(5);
  window.info().show();
  window.OnCommand(CImgDlg::kCommandFullScreen);
  ASSERT_TRUE(window.isFullScreen());
  EXPECT_TRUE(window.info().isTopMost());
  run(5);  // forced redraw
  const Canvas& screen = window.presentCanvas();
  EXPECT_EQ(screen.width(), 640);
  EXPECT_EQ(screen.pixel(320, 180), kRed);
  EXPECT_EQ(screen.pixel(40, 180), 0xFFFFFFu);  // 4:3 in 16:9: x from 80 to 560
  EXPECT_EQ(screen.pixel(80, 180), kRed);

  for (int i = 0; i < 3; ++i) window.onMouseWheel(120);
  run(50);
  const CImgFullscrDlg* full = window.fullScreenWindow();
  EXPECT_EQ(full->zoom().zoom(), 2);
  EXPECT_EQ(full->lastSource(), (Rect{80, 60, 160, 120}));

  window.onLeftButtonDown(100, 100);
  window.onMouseMove(140, 100);  // 40 x 320 x 2 / 640 = 40 picture pixels
  window.onLeftButtonUp(140, 100);
  run(50);
  EXPECT_EQ(full->lastSource(), (Rect{120, 60, 160, 120}));

  window.OnDoubleClick(0, 0);
  EXPECT_FALSE(window.isFullScreen());
  EXPECT_EQ(window.presentCanvas().width(), 320);
  EXPECT_TRUE(window.info().isTopMost());
  window.paint();
  EXPECT_FALSE(window.info().isTopMost());

  // Opening again starts unzoomed.
  window.FullScreen();
  run(5);
  EXPECT_EQ(full->lastSource(), (Rect{0, 0, 320, 240}));
  window.OnCommand(CImgDlg::kCommandNormalView);
  EXPECT_FALSE(window.isFullScreen());
}

TEST_F(CImgDlgTest, WheelOutsideFullScreenLeavesTheZoomAlone) {
  view.jpeg = fakeJpeg(kRed, 320, 240);
  view.frameNumber = 1;
  run(5);
  for (int i = 0; i < 6; ++i) window.onMouseWheel(120);
  EXPECT_EQ(window.fullScreenWindow(), nullptr);
}

}  // namespace
}  // namespace vexa
