// The video window steering the simulated camera over loopback: the commands it sends, and what
// the pictures it then shows look like. The camera's head moves only as its clock is advanced.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "camera/MjpegServer.h"
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
// How far a JPEG's colour may stray from the flat tile it shows.
constexpr int kColourTolerance = 24;

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
  // Colour of the shown picture at (x, y), top-down, compared with a tile's.
  bool showsTile(int x, int y, const uint8_t (&tile)[3]) const {
    const uint8_t* bits = window.pictureBits();
    const uint8_t* pixel = bits + (size_t(kHeight - 1 - y) * kWidth + size_t(x)) * 3;
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

  platform::ManualClock cameraClock{1000};
  camera::PtzControl head{kWidth, kHeight, &cameraClock};
  std::unique_ptr<camera::MjpegServer> server;
  platform::RecordingDialogs dialogs;
  StreamPlayer player{dialogs};
  platform::ManualClock windowClock{1000};
  platform::UiLoop loop{windowClock};
  PlayerStreamView view{player, loop};
  CImgDlg window{&view,
                 [this](int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
                   MjpegDecoder* decoder = player.decoders().mjpeg();
                   return decoder != nullptr ? decoder->Decode(length, data, image, info) : -1;
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
}

TEST_F(PtzSteering, TheWheelZoomsUntilHalfASecondAfterTheNotchAndThePositionIsReported) {
  window.setFocused(true);
  window.onMouseWheel(120);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 1; }));
  cameraClock.advance(1000);
  ASSERT_TRUE(pumpUntil([&] { return commands().size() == 2; }));
  window.ptzSender().queryPosition();
  ASSERT_TRUE(pumpUntil([&] { return window.ptz().lastZoomPosition() == 350; }));
  EXPECT_EQ(commands().back(), "/cgi-bin/com/ptz.cgi?query=position");
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

}  // namespace
}  // namespace vexa
