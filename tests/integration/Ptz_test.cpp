// The video window steering the simulated camera over loopback: the commands it sends, and what
// the pictures it then shows look like. The camera's head moves only as its clock is advanced.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/JpegFrameTag.h"
#include "camera/MjpegServer.h"
#include "camera/PictureGenerator.h"
#include "camera/PtzControl.h"
#include "control/PlayerStreamView.h"
#include "control/PtzHttpChannel.h"
#include "display/CImgDlg.h"
#include "media/VideoDecoderSet.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/UiLoop.h"
#include "session/StreamPlayer.h"
#include "support/Loopback.h"
#include "support/Picture.h"

namespace vexa {
namespace {

using test::eventually;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// Pictures shown after the last command before one is looked at: the camera's encoder may still
// hold older ones.
constexpr uint64_t kSettlingPictures = 5;
// Scene tiles next to the home picture, as the camera paints them (B, G, R).
constexpr uint8_t kRightTile[3] = {90, 30, 90};
constexpr uint8_t kTileAbove[3] = {20, 60, 20};
constexpr uint8_t kTileLeft[3] = {30, 90, 90};
constexpr uint8_t kMagentaBar[3] = {191, 0, 191};
// How far a JPEG's colour may stray from the flat tile it shows.
constexpr int kColourTolerance = 24;
// How far the shown picture may be from the camera's own, per byte of a channel on average.
constexpr double kMeanDifferenceLimit = 3;
// Rows the shown picture is tried shifted by when looking for where it matches best.
constexpr int kShiftSearch = 3;
// Rows of the colour bars that look for the magenta bar's right edge: the moving box hides it in
// a few of them at most, whether zoomed or not.
constexpr std::array<int, 5> kBarRows = {10, 90, 170, 250, 310};
// A column of the red bar, or the magenta one when zoomed, clear of the frame counter.
constexpr int kColumnBelowBars = 460;

class PtzSteering : public testing::Test {
 protected:
  void SetUp() override {
    camera::MjpegServerOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = 25;
    options.quality = 90;
    options.ptz = &head;
    server = std::make_unique<camera::MjpegServer>(options);
    ASSERT_TRUE(server->start()) << server->lastError();

    StreamConfig& config = player.config();
    config.model = IPCAMERA_VIDEO_MODEL_HTTP_MJPEG;
    config.host = "127.0.0.1";
    config.path = "/";
    config.httpPort = server->port();
    window.ptzSender().setChannel(makePtzHttpChannel());
    window.ptzSender().setPort(server->port());
    window.ptzSender().setStream("127.0.0.1", "jpeg");
    window.ptz().SetModel("TQ330");
    window.ptz().SetEnPt(1);
    window.ptz().SetEnCenter(1);
    window.ptz().SetEnZoom(1);
    window.create();
    player.Start();
    ASSERT_TRUE(pumpUntil([&] { return window.picturesTaken() >= 1; }));
  }
  void TearDown() override {
    player.Release();
    window.destroy();
  }

  // Runs the window's timers (on its own clock) until condition holds.
  template <typename Condition>
  bool pumpUntil(Condition condition) {
    return eventually([&] {
      windowClock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
      return condition();
    });
  }
  std::vector<std::string> commands() const {
    std::vector<std::string> urls;
    for (const camera::LoggedRequest& request : server->requestLog()) {
      if (request.url.find("ptz.cgi") != std::string::npos) urls.push_back(request.url);
    }
    return urls;
  }
  bool settled() {
    const uint64_t taken = window.picturesTaken();
    return pumpUntil([&] { return window.picturesTaken() >= taken + kSettlingPictures; });
  }
  // The shown picture's pixel at (x, y), top-down.
  const uint8_t* pixelAt(int x, int y) const {
    return window.pictureBits() + (size_t(kHeight - 1 - y) * kWidth + size_t(x)) * 3;
  }
  // Colour of the shown picture at (x, y) compared with a tile's.
  bool showsTile(int x, int y, const uint8_t (&tile)[3]) const {
    const uint8_t* pixel = pixelAt(x, y);
    for (int c = 0; c < 3; ++c) {
      if (std::abs(pixel[c] - tile[c]) > kColourTolerance) return false;
    }
    return true;
  }
  // Where a tile seen at (x, y) ends, going in the direction (dx, dy).
  int tileEnd(int x, int y, int dx, int dy, const uint8_t (&tile)[3]) const {
    while (x >= 0 && x < kWidth && y >= 0 && y < kHeight && showsTile(x, y, tile)) {
      x += dx;
      y += dy;
    }
    return dx != 0 ? x : y;
  }
  bool showsGrey(int x, int y) const {
    const uint8_t* pixel = pixelAt(x, y);
    const auto [low, high] = std::minmax({pixel[0], pixel[1], pixel[2]});
    return high - low <= kColourTolerance;
  }
  // How far the bottom-right corner of the magenta bar (just right of the picture centre at home)
  // lies from the picture centre.
  double barCornerDistance() const {
    int right = 0;
    for (int y : kBarRows) right = std::max(right, tileEnd(kWidth / 2 + 2, y, 1, 0, kMagentaBar));
    int bottom = kHeight - 1;
    while (bottom > 0 && showsGrey(kColumnBelowBars, bottom)) --bottom;
    return std::hypot(right - kWidth / 2, bottom + 1 - kHeight / 2);
  }
  // What the camera shows now, for the picture number last shown, against the shown picture.
  // Returns the largest channel's mean absolute difference at the best of a few vertical shifts,
  // and that shift. The frame counter stays put whatever the view, so it is left out: it would
  // hide a scene moved up or down.
  std::pair<double, int> differenceFromCamerasPicture() {
    camera::PictureGenerator generator(kWidth, kHeight);
    camera::BgrPicture expected;
    generator.renderView(shownIndex.value_or(0), head.crop(), expected);
    const std::vector<uint8_t> shown = test::flipRows(window.pictureBits(), kWidth, kHeight);
    std::pair<double, int> best{INFINITY, 0};
    for (int shift = -kShiftSearch; shift <= kShiftSearch; ++shift) {
      const double difference = channelDifference(shown, expected, shift, generator.counterPanel());
      if (difference < best.first) best = {difference, shift};
    }
    return best;
  }
  // Rows y of expected against rows y + shift of shown, over the rows both have, but for what
  // lies in the left-out area in either.
  static double channelDifference(const std::vector<uint8_t>& shown,
                                  const camera::BgrPicture& expected, int shift,
                                  const camera::PictureRect& leftOut) {
    const auto inRows = [&](int y) { return y >= leftOut.y && y < leftOut.y + leftOut.height; };
    std::array<uint64_t, 3> totals{};
    uint64_t pixels = 0;
    for (int y = std::max(0, -shift); y < std::min(kHeight, kHeight - shift); ++y) {
      const uint8_t* want = expected.row(y);
      const uint8_t* got = &shown[size_t(y + shift) * kWidth * 3];
      const bool rowLeftOut = inRows(y) || inRows(y + shift);
      for (int x = 0; x < kWidth; ++x) {
        if (rowLeftOut && x >= leftOut.x && x < leftOut.x + leftOut.width) continue;
        for (int c = 0; c < 3; ++c)
          totals[c] += uint64_t(std::abs(want[3 * x + c] - got[3 * x + c]));
        ++pixels;
      }
    }
    return double(*std::max_element(totals.begin(), totals.end())) / double(pixels);
  }

  // The generated picture's number the camera tagged the shown one with.
  std::optional<uint32_t> shownIndex;
  platform::ManualClock cameraClock{1000};
  camera::PtzControl head{kWidth, kHeight, &cameraClock};
  std::unique_ptr<camera::MjpegServer> server;
  platform::RecordingDialogs dialogs;
  StreamPlayer player{dialogs};
  platform::ManualClock windowClock{1000};
  platform::UiLoop loop{windowClock};
  PlayerStreamView view{player, loop};
  CImgDlg window{&view,
                 [this](std::span<const uint8_t> jpeg) {
                   MjpegDecoder* decoder = player.decoders().mjpeg();
                   PictureLease picture = decoder != nullptr ? decoder->decode(jpeg) : PictureLease{};
                   if (picture) shownIndex = camera::taggedFrameIndex(jpeg);
                   return picture;
                 },
                 loop, kWidth, kHeight};
};

TEST_F(PtzSteering, HoldingAtTheRightEdgePansTheSceneLeftForAsLongAsTheButtonIsHeld) {
  window.onLeftButtonDown(637, 240);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 1; }));
  cameraClock.advance(500);
  window.onLeftButtonUp(637, 240);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 2; }));
  ASSERT_TRUE(settled());
  EXPECT_EQ(commands(),
            (std::vector<std::string>{"/cgi-bin/com/ptz.cgi?continuouspantiltmove=99,0",
                                      "/cgi-bin/com/ptz.cgi?continuouspantiltmove=0,0"}));
  // 99 % of half the width per second for half a second: 158 pixels. The tile right of the home
  // picture now begins there, and fills the picture's height.
  const int tileStart = tileEnd(kWidth - 1, 440, -1, 0, kRightTile) + 1;
  EXPECT_NEAR(kWidth - tileStart, 158, 2);
  EXPECT_TRUE(showsTile(600, 1, kRightTile) && showsTile(600, kHeight - 2, kRightTile));
  // The whole picture is what the camera makes of its view, moving box included, and not moved up
  // or down.
  ASSERT_TRUE(shownIndex.has_value());
  const auto [difference, shift] = differenceFromCamerasPicture();
  EXPECT_LT(difference, kMeanDifferenceLimit);
  EXPECT_LE(std::abs(shift), 1);
}

TEST_F(PtzSteering, TheWheelZoomsUntilHalfASecondAfterTheNotchAndThePositionIsReported) {
  ASSERT_TRUE(settled());
  const double cornerBefore = barCornerDistance();
  window.setFocused(true);
  window.onMouseWheel(120);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 1; }));
  cameraClock.advance(1000);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 2; }));
  window.ptzSender().queryPosition();
  ASSERT_TRUE(pumpUntil([&] { return window.ptz().lastZoomPosition() == 350; }));
  EXPECT_EQ(commands().back(), "/cgi-bin/com/ptz.cgi?query=position");
  // Zoom position 350 of 999 magnifies by 1 + 3 x 350 / 999 about the picture centre.
  ASSERT_TRUE(settled());
  EXPECT_NEAR(barCornerDistance() / cornerBefore, 2.051, 2.051 * 0.02);
}

TEST_F(PtzSteering, ACentreClickBringsItsPointToThePictureCentre) {
  window.OnCommand(kCommandCentreMode);
  window.onLeftButtonDown(100, 50);
  window.onLeftButtonUp(100, 50);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 1; }));
  ASSERT_TRUE(settled());
  // The home picture's top-left corner; the click was 98 x 640 / 636 and 48 x 480 / 476 picture
  // pixels from it.
  const int cornerX = tileEnd(0, 300, 1, 0, kTileLeft);
  const int cornerY = tileEnd(300, 0, 0, 1, kTileAbove);
  EXPECT_NEAR(cornerX + 98.6, 320, 2);
  EXPECT_NEAR(cornerY + 48.4, 240, 2);
}

TEST_F(PtzSteering, FullScreenWheelZoomsTheCameraUntilItsZoomIsFarInThenZoomsDigitally) {
  window.ptz().SetModel("TQ320");
  window.ptz().SetEnZoom(1);
  window.FullScreen();
  const auto stepUp = [&] {
    for (int notch = 0; notch < DigitalZoom::kNotchesPerStep; ++notch) window.onMouseWheel(120);
  };
  stepUp();
  ASSERT_TRUE(pumpUntil([&] { return commands().size() >= 2 && !window.ptzSender().busy(); }));
  const std::vector<std::string> zoomStart = commands();
  EXPECT_EQ(std::vector(zoomStart.begin(), zoomStart.begin() + 2),
            (std::vector<std::string>{"/cgi-bin/com/ptz.cgi?continuouszoommove=70",
                                      "/cgi-bin/com/ptz.cgi?query=position"}));
  // 2.4 s at 70 % of full speed: position 840.
  cameraClock.advance(2400);
  // The zoom still runs: turning on only asks for its position again.
  stepUp();
  ASSERT_TRUE(pumpUntil([&] {
    return window.ptz().lastZoomPosition() >= PtzMouse::kDigitalZoomPosition &&
           !window.ptz().zoomRunning() && !window.ptzSender().busy();
  }));
  const size_t sent = commands().size();
  stepUp();
  ASSERT_TRUE(settled());
  EXPECT_EQ(window.fullScreenWindow()->zoom().zoom(), 2);
  EXPECT_EQ(window.fullScreenWindow()->lastSource().width, kWidth / 2);
  const std::vector<std::string> all = commands();
  EXPECT_EQ(all.size(), sent);
  EXPECT_EQ(std::count(all.begin(), all.end(), zoomStart.front()), 1);
}

}  // namespace
}  // namespace vexa
