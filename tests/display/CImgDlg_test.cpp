#include "display/CImgDlg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/FakeStreamView.h"
#include "support/Planes.h"
#include "support/Picture.h"
#include "support/RecordingTap.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using test::FakeStreamView;
using test::Picture;

constexpr uint32_t kRed = 0xFF0000;  // canvas pixels, 0x00RRGGBB
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kBackground = 0x282828;

class CImgDlgTest : public testing::Test {
 protected:
  CImgDlgTest() {
    window.create();
    window.setFolderOpener([this](const std::string& folder) { opened.push_back(folder); });
  }

  // The JPEG decoder: whatever the bytes, it gives `decoded`, or fails.
  PictureLease decode() {
    ++decodes;
    if (failDecoding) return {};
    std::memcpy(jpegPictures.writable(), decoded.bits.data(), decoded.bits.size());
    jpegPictures.publish(decoded.header.biWidth, decoded.header.biHeight);
    return jpegPictures.leaseNewest();
  }
  // Runs the host's timers for ms milliseconds in steps of `step` (whole seconds run the draw
  // cycle and the tick once a step).
  void run(uint32_t ms, uint32_t step = CImgDlg::kDrawPeriodMs) {
    for (uint32_t t = 0; t < ms; t += step) {
      clock.advance(step);
      loop.runDue();
    }
  }
  void runSeconds(int seconds) { run(uint32_t(seconds) * 1000, 1000); }
  // JPEG data of a plausible size that decodes to a solid picture.
  void setJpeg(uint32_t rgb, int width = 64, int height = 48) {
    decoded = Picture::solid(width, height, rgb);
    view.jpeg.assign(2000, 0);
  }
  // A new JPEG picture arrives, and one draw cycle runs.
  void showJpeg(uint32_t rgb, int width = 64, int height = 48) {
    setJpeg(rgb, width, height);
    ++view.frameNumber;
    run(5);
  }
  uint32_t centre() const { return window.presentCanvas().pixel(160, 120); }

  test::TempFolder temp;
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  FakeStreamView view;
  Picture decoded;
  PictureExchange jpegPictures{kDisplayPictureBytes, SWS_BILINEAR};
  int decodes = 0;
  bool failDecoding = false;
  std::vector<std::string> opened;
  CImgDlg window{&view,
                 [this](std::span<const uint8_t>) { return decode(); },
                 loop, 320, 240};
};

TEST_F(CImgDlgTest, WithoutAPlayerNothingIsAskedOrDrawnAndNoStatisticsShow) {
  view.player = false;
  view.frameNumber = 3;
  const uint64_t serial = window.presentSerial();
  run(200);
  EXPECT_EQ(std::tuple(view.lockCalls, view.fetchCalls, window.presentSerial(), centre()),
            std::tuple(0, 0, serial, 0u));
  window.OnDoubleClick(5, 5);  // with a player it shows: see the statistics test
  EXPECT_FALSE(window.info().isShown());
}

TEST_F(CImgDlgTest, DarkBackgroundUntilTheFirstPictureAndAfterStopping) {
  run(10);
  // The video rectangle (2, 2, 316, 236), one pixel wider and taller.
  const Canvas& canvas = window.presentCanvas();
  EXPECT_EQ(std::tuple(canvas.pixel(2, 2), canvas.pixel(318, 238), canvas.pixel(319, 239),
                       canvas.pixel(1, 1), view.fetchCalls),
            std::tuple(kBackground, kBackground, 0u, 0u, 0));

  showJpeg(kRed);
  ASSERT_EQ(centre(), kRed);
  window.stopPainting();
  EXPECT_EQ(centre(), kBackground);
  view.frameNumber = 0;  // the site is gone
  run(100);
  EXPECT_EQ(centre(), kBackground);
}

TEST_F(CImgDlgTest, FetchesOnlyNewFrameNumbersOfPlausibleSizeAndRedrawsEveryFiftyMilliseconds) {
  showJpeg(kRed);
  EXPECT_EQ(centre(), kRed);
  EXPECT_EQ(window.info().videoSize(), "64 x 48");
  const uint64_t drawn = window.presentSerial();
  setJpeg(kGreen);  // same number: not fetched
  run(45);
  EXPECT_EQ(window.presentSerial(), drawn);
  run(5);
  EXPECT_EQ(window.presentSerial(), drawn + 1);
  run(50);
  // Redraws reuse the stretched picture.
  EXPECT_EQ(
      std::tuple(window.presentSerial(), centre(), decodes, window.presentCanvas().stretchCount()),
      std::tuple(drawn + 2, kRed, 1, 1u));
  showJpeg(kGreen);
  EXPECT_EQ(std::pair(centre(), decodes), std::pair(kGreen, 2));
  // Only sizes from 1001 to 599999 are decoded.
  for (const auto& [length, decoded] : {std::pair{1000, 0}, {1001, 1}, {599999, 1}, {600000, 0}}) {
    decodes = 0;
    view.jpeg.assign(size_t(length), 0);
    ++view.frameNumber;
    run(5);
    EXPECT_EQ(decodes, decoded) << length;
  }
}

// Each JPEG picture the window decodes goes to a running recording, its size first, once: also
// when it landed between the window reading its number and taking it. One that does not decode
// does not.
TEST_F(CImgDlgTest, DecodedJpegPicturesGoToTheRecordingOnceWithTheirSize) {
  view.tap.recording = false;
  showJpeg(kRed);
  view.tap.recording = true;
  view.landsBeforeLock = true;
  showJpeg(kGreen, 80, 40);
  run(50);
  failDecoding = true;
  showJpeg(kBlue);
  EXPECT_EQ(view.tap.calls, (std::vector<std::string>{"size 80x40", "frame 2000"}));
}

TEST_F(CImgDlgTest, WatchdogRestartsASilentStreamAfterEightySecondsAndAFrameResetsIt) {
  runSeconds(80);
  EXPECT_EQ(std::pair(window.secondsWithoutFrames(), view.stops), std::pair(80u, 0));
  runSeconds(1);
  EXPECT_EQ(std::tuple(view.stops, view.restarts, window.secondsWithoutFrames()),
            std::tuple(1, 1, 0u));

  setJpeg(kRed);
  runSeconds(60);
  view.frameNumber = 1;
  runSeconds(1);
  EXPECT_EQ(window.secondsWithoutFrames(), 0u);
  runSeconds(80);
  EXPECT_EQ(view.stops, 1);
  runSeconds(1);
  EXPECT_EQ(std::pair(view.stops, view.restarts), std::pair(2, 2));
}

TEST_F(CImgDlgTest, FrameRateValueIsArrivedTimesHundredPlusDrawn) {
  setJpeg(kRed);
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
  view.figures = {.siteExists = true, .model = 12, .audioCodec = 0, .host = "10.0.0.2"};
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

TEST_F(CImgDlgTest, AHiddenWindowTakesPicturesWithoutPaintingAndRepaintsWhenShown) {
  window.setHidden(true);
  const uint64_t serial = window.presentSerial();
  showJpeg(kRed);
  showJpeg(kGreen);
  // Not even the background.
  EXPECT_EQ(std::tuple(window.picturesTaken(), window.presentCanvas().stretchCount(),
                       window.presentSerial(), centre()),
            std::tuple(2u, 0u, serial, 0u));
  // The snapshot still has the newest picture.
  ASSERT_TRUE(window.RequestCapture(temp.path(), "hidden.bmp"));
  run(5);
  const std::vector<uint8_t> saved = temp.read("hidden.bmp");
  ASSERT_GT(saved.size(), 54u + 64 * 48 * 3 - 1);
  EXPECT_EQ(saved[54 + 1], 0xFF) << "green, as the bitmap's first pixel";

  window.setHidden(false);
  run(5);
  EXPECT_EQ(std::pair(centre(), window.presentCanvas().pixel(0, 0)), std::pair(kGreen, 0u));
  EXPECT_GT(window.presentSerial(), serial);

  // A decoder's planes, never painted: the snapshot is their whole BGR all the same, as
  // converting each picture at once gave it (rows bottom-up, padded to 4 bytes in the file).
  constexpr int kWidth = 63, kHeight = 47, kRowBytes = kWidth * 3, kFileRowBytes = 192;
  const test::FramePtr planes = test::makePlanes(kWidth, kHeight, AV_PIX_FMT_YUV420P);
  window.setHidden(true);
  view.h264 = true;
  view.planes = planes.get();
  ++view.frameNumber;
  run(5);
  ASSERT_TRUE(window.RequestCapture(temp.path(), "planes.bmp"));
  run(5);
  const std::vector<uint8_t> shot = temp.read("planes.bmp");
  const std::vector<uint8_t> eager = test::eagerBgr(*planes, SWS_BILINEAR);
  ASSERT_EQ(shot.size(), 54u + size_t(kFileRowBytes) * kHeight);
  for (int row = 0; row < kHeight; ++row) {
    EXPECT_TRUE(std::equal(eager.begin() + row * kRowBytes, eager.begin() + (row + 1) * kRowBytes,
                           shot.begin() + 54 + row * kFileRowBytes))
        << "row " << row;
  }
}

TEST_F(CImgDlgTest, DecodedFramesAreFetchedUntilCaughtUpAndABorrowedOneStaysWhole) {
  view.h264 = true;
  view.picture = Picture::solid(64, 48, kBlue);
  view.frameNumber = 5;
  run(5);
  EXPECT_EQ(centre(), kBlue);
  ASSERT_NE(window.pictureBits(), nullptr);
  // The decoder completes more pictures than it has buffers before the window fetches again.
  for (int i = 0; i < 5; ++i) view.decode(Picture::solid(64, 48, kRed));
  const uint8_t* bits = window.pictureBits();
  EXPECT_EQ(std::tuple(bits[0], bits[2], bits[64 * 48 * 3 - 1]), std::tuple(0xFF, 0x00, 0x00));
  run(50);
  EXPECT_EQ(view.fetchCalls, 1);
  // A decode path ahead of the window: one more fetch per cycle until the numbers meet.
  view.fetchResult = 4;
  view.frameNumber = 8;
  run(50);
  EXPECT_EQ(view.fetchCalls, 4);
}

TEST_F(CImgDlgTest, FailedFetchOrDecodeKeepsTheShownPicture) {
  view.mpeg4 = true;
  view.picture = Picture::solid(64, 48, kRed);
  view.frameNumber = 1;
  run(5);
  ASSERT_NE(window.pictureBits(), nullptr);
  view.fetchResult = -1;
  view.frameNumber = 2;
  run(5);
  // Blue and red bytes of red.
  EXPECT_EQ(std::tuple(window.pictureBits()[0], window.pictureBits()[2],
                       int(window.pictureHeader().biWidth)),
            std::tuple(0x00, 0xFF, 64));

  // The second arrival's decode lands later: it is shown at once, not with the next arrival.
  view.fetchResult = 0;
  view.mpeg4DecodeBehind = true;
  view.picture = Picture::solid(64, 48, kGreen);
  run(5);
  EXPECT_EQ(window.pictureBits()[1], 0x00);
  view.mpeg4DecodeBehind = false;
  run(5);
  EXPECT_EQ(window.pictureBits()[1], 0xFF);

  view.mpeg4 = false;
  failDecoding = true;
  showJpeg(kGreen, 32, 32);
  EXPECT_EQ(std::tuple(decodes, window.pictureBits()[1], int(window.pictureHeader().biWidth)),
            std::tuple(1, 0xFF, 64));
}

TEST_F(CImgDlgTest, DisplayModeNamesSwitchTheLayout) {
  EXPECT_EQ(window.SetDisplayMode("REALSIZE"), 0);
  EXPECT_EQ(window.SetDisplayMode("stretch"), 1);
  EXPECT_EQ(window.displayMode(), 1);
  EXPECT_EQ(window.SetDisplayMode("STRETCH"), 0);
  EXPECT_EQ(window.displayMode(), 0);
  EXPECT_EQ(window.SetDisplayMode("REALSIZE"), 0);
  showJpeg(kRed, 160, 120);  // real size: centred, black bars around
  const Canvas& canvas = window.presentCanvas();
  EXPECT_EQ(std::tuple(canvas.pixel(79, 120), canvas.pixel(80, 120), canvas.pixel(160, 59)),
            std::tuple(0u, kRed, 0u));
}

TEST_F(CImgDlgTest, FullScreenFitsThePictureOnWhiteAndZooms) {
  window.setDesktopSize(640, 360);
  showJpeg(kRed, 320, 240);
  for (int i = 0; i < 6; ++i) window.onMouseWheel(120);
  EXPECT_EQ(window.fullScreenWindow(), nullptr) << "the wheel zooms only in full screen";
  window.info().show();
  window.OnCommand(CImgDlg::kCommandFullScreen);
  ASSERT_TRUE(window.isFullScreen());
  EXPECT_TRUE(window.info().isTopMost());
  run(5);  // forced redraw
  const Canvas& screen = window.presentCanvas();
  // 4:3 in 16:9: x from 80 to 560.
  EXPECT_EQ(std::tuple(screen.width(), screen.pixel(40, 180), screen.pixel(80, 180)),
            std::tuple(640, 0xFFFFFFu, kRed));

  for (int i = 0; i < 3; ++i) window.onMouseWheel(120);
  run(50);
  const CImgFullscrDlg* full = window.fullScreenWindow();
  EXPECT_EQ(full->lastSource(), (Rect{80, 60, 160, 120}));  // zoom 2
  window.onLeftButtonDown(100, 100);
  window.onMouseMove(140, 100);  // 40 x 320 x 2 / 640 = 40 picture pixels
  window.onLeftButtonUp(140, 100);
  run(50);
  EXPECT_EQ(full->lastSource(), (Rect{120, 60, 160, 120}));

  window.OnDoubleClick(0, 0);
  EXPECT_FALSE(window.isFullScreen());
  EXPECT_EQ(window.presentCanvas().width(), 320);
  window.paint();
  EXPECT_FALSE(window.info().isTopMost());
  // Opening again starts unzoomed.
  window.FullScreen();
  run(5);
  EXPECT_EQ(full->lastSource(), (Rect{0, 0, 320, 240}));
  window.OnCommand(CImgDlg::kCommandNormalView);
  EXPECT_FALSE(window.isFullScreen());
}

TEST_F(CImgDlgTest, CaptureIsServedInTheNextDrawCycleWhileTheImageLockIsFree) {
  view.mpeg4 = true;
  view.picture = Picture::solid(32, 16, 0x123456);
  view.frameNumber = 1;
  run(5);
  view.lockAvailable = false;
  EXPECT_TRUE(window.RequestCapture(temp.path(), "shot.bmp"));
  EXPECT_FALSE(window.RequestCapture(temp.path(), "second.bmp"));  // one pending at a time
  run(50);
  EXPECT_TRUE(window.capturePending() && !temp.has("shot.bmp"));

  view.lockAvailable = true;
  run(5);
  // The lock is released again.
  EXPECT_EQ(std::tuple(window.capturePending(), view.locked, temp.has("second.bmp")),
            std::tuple(false, false, false));
  ASSERT_TRUE(temp.has("shot.bmp"));
  EXPECT_EQ(opened, std::vector<std::string>{temp.path() + "/"});
  // The bitmap holds the picture on screen, and the temporary copy stays.
  const auto saved = temp.read("shot.bmp");
  ASSERT_EQ(saved.size(), 54u + 32 * 16 * 3);
  EXPECT_EQ(std::pair(saved[54], saved[56]), std::pair(uint8_t(0x56), uint8_t(0x12)));
  EXPECT_EQ(temp.read("capture.bmp"), saved);

  EXPECT_TRUE(window.RequestCapture(temp.path() + "/", "again.png"));
  run(5);
  EXPECT_TRUE(temp.has("again.png"));
  EXPECT_EQ(opened.back(), temp.path() + "/");
}

}  // namespace
}  // namespace vexa
