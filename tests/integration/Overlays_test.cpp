// Overlays over the simulated camera's pictures in the video window: the outlines of a camera
// with a 28 x 30 motion grid land on the pixels its grid gives, and client masks blend exactly
// what the formula gives over the received picture, on screen and in the snapshot.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "camera/RtspServer.h"
#include "display/CImgDlg.h"
#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "session/IPCameraSite.h"
#include "support/FakeStreamView.h"
#include "support/Loopback.h"
#include "support/SitePictures.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

constexpr uint32_t kUdpSlot = 44;
constexpr int kBorder = 2;  // the window's bars around the video rectangle

// A picture of the simulated camera at that size, over RTSP H.264, bottom-up; empty if none came.
std::vector<uint8_t> receivePicture(int width, int height) {
  auto [options, unused] = test::serverOptions({.width = width, .height = height, .fps = 5});
  camera::RtspServer server(options);
  if (!server.start()) return {};
  const std::unique_ptr<H264Decoder> h264 = VideoDecoderSet::openH264();
  StreamConfig config;
  config.model = IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264;
  config.host = "127.0.0.1";
  config.path = "/h264";
  config.rtspPort = server.port();
  IPCameraSite site(config, kUdpSlot);
  site.setH264Decoder(h264.get());
  if (!site.Play() || !test::eventually([&] { return site.GetFrameNumber() >= 2; })) return {};
  std::vector<uint8_t> picture = test::takePicture(site, width, height);
  site.Stop();
  return picture;
}

// A video window shown a picture, through the path of a stream that hands over whole pictures.
struct WindowRig {
  WindowRig(int clientWidth, int clientHeight) : window(&view, nullptr, loop, clientWidth, clientHeight) {
    view.mpeg4 = true;
    window.create();
  }
  void show(const std::vector<uint8_t>& bits, int width, int height) {
    view.picture = test::Picture{makeBgrPictureHeader(width, height), bits};
    ++view.frameNumber;
    run();
  }
  void run() {
    for (int step = 0; step < 3; ++step) {
      clock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
    }
  }
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  test::FakeStreamView view;
  CImgDlg window;
};

int64_t scaleUp(int64_t a, int64_t from, int64_t to) {
  return from <= to ? (a * to + from - 1) / from : a * to / from;
}

TEST(Overlays, OutlinesOfAStreamLandWhereTheCamerasGridPutsThem) {
  constexpr int kWidth = 1280, kHeight = 1024, kClientWidth = 640, kClientHeight = 512;
  const std::vector<uint8_t> picture = receivePicture(kWidth, kHeight);
  ASSERT_FALSE(picture.empty());
  WindowRig rig(kClientWidth, kClientHeight);
  rig.window.SetModel("TQ312");
  rig.window.SetSensor("OV2715");
  rig.window.SetSensorMode("1280x1024");
  // A 28 x 30 motion grid over a space of the same size, whose script x starts at 6.
  rig.window.AddMotionByName("hall", 10, 3, 19, 12);
  rig.show(picture, kWidth, kHeight);
  ASSERT_EQ(rig.window.overlays().gridType(), 6);

  // The video rectangle fills the client inside its bars; cells 4..13 across, 3..12 down.
  const int64_t areaWidth = kClientWidth - 2 * kBorder, areaHeight = kClientHeight - 2 * kBorder;
  const int left = int(kBorder + scaleUp(4, 28, areaWidth));
  const int right = int(kBorder + scaleUp(14, 28, areaWidth) - 1);
  const int top = int(kBorder + scaleUp(3, 30, areaHeight));
  const int bottom = int(kBorder + scaleUp(13, 30, areaHeight) - 1);
  const Canvas& canvas = rig.window.presentCanvas();
  constexpr uint32_t kRed = 0xFF0000;
  for (const auto& [x, y] : {std::pair(left, top), std::pair(right, bottom),
                             std::pair((left + right) / 2, top), std::pair(left, (top + bottom) / 2)}) {
    EXPECT_EQ(canvas.pixel(x, y), kRed) << x << "," << y;
  }
  EXPECT_NE(canvas.pixel((left + right) / 2, (top + bottom) / 2), kRed) << "only the outline";
  EXPECT_EQ(rig.window.GetMotionPointByName("hall", 0), 10);
  EXPECT_EQ(rig.window.GetMotionPointByName("hall", 3), 12);
}

TEST(Overlays, ClientMasksBlendTheReceivedPictureOnScreenAndInTheSnapshot) {
  for (const auto& size : {std::pair(1280, 720), std::pair(1920, 1080)}) {
    const int width = size.first, height = size.second;
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    const std::vector<uint8_t> picture = receivePicture(width, height);
    ASSERT_FALSE(picture.empty());
    // One window pixel per picture pixel.
    WindowRig rig(width + 2 * kBorder, height + 2 * kBorder);
    rig.window.AddClientMask("desk", 40, 30, 20, 15);
    rig.window.SetClientMaskColor(255, 0, 0, 0.5);
    rig.show(picture, width, height);

    // Cells are 16 pixels, the last row of 1080 a partial one; the mask covers cells
    // 40..59 of 80 across and 30..44 of 60 down of the picture's cells, rounded up.
    const int cellsDown = (height + 15) / 16;
    const int maskLeft = 40 * (width / 16) / 80 * 16, maskRight = 60 * (width / 16) / 80 * 16;
    const int maskTop = 30 * cellsDown / 60 * 16, maskBottom = 45 * cellsDown / 60 * 16;
    const auto source = [&](int x, int y) {  // y from the top
      const uint8_t* p = &picture[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 3];
      return std::tuple(int(p[0]), int(p[1]), int(p[2]));
    };
    const auto masked = [&](int x, int y) {
      const auto [blue, green, red] = source(x, y);
      return std::tuple(blue * 50 / 100, green * 50 / 100, (red * 50 + 255 * 50) / 100);
    };
    const auto shown = [&](int x, int y) {
      const uint32_t p = rig.window.presentCanvas().pixel(x + kBorder, y + kBorder);
      return std::tuple(int(p & 0xFF), int(p >> 8 & 0xFF), int(p >> 16));
    };
    test::TempFolder folder;
    ASSERT_TRUE(rig.window.RequestCapture(folder.path(), "s.bmp"));
    rig.run();
    const std::vector<uint8_t> bmp = folder.read("s.bmp");
    ASSERT_GT(bmp.size(), 54u);
    const size_t pixels = bmp[10] | size_t(bmp[11]) << 8;
    const size_t rowBytes = (size_t(width) * 3 + 3) / 4 * 4;
    const auto saved = [&](int x, int y) {
      const size_t at = pixels + size_t(height - 1 - y) * rowBytes + size_t(x) * 3;
      return std::tuple(int(bmp[at]), int(bmp[at + 1]), int(bmp[at + 2]));
    };
    for (int y = 0; y < height; y += 7) {
      for (int x = 0; x < width; x += 7) {
        const bool inside = x >= maskLeft && x < maskRight && y >= maskTop && y < maskBottom;
        const auto expected = inside ? masked(x, y) : source(x, y);
        ASSERT_EQ(shown(x, y), expected) << x << "," << y;
        ASSERT_EQ(saved(x, y), expected) << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace vexa
