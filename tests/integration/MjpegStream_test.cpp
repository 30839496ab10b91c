// The MJPEG site against the simulated camera over loopback: pictures arrive, decode, and match
// what the camera generated.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "camera/JpegFrameTag.h"
#include "camera/MjpegServer.h"
#include "camera/PictureGenerator.h"
#include "media/MjpegDecoder.h"
#include "platform/Thread.h"
#include "session/IPCameraSite.h"
#include "support/Loopback.h"
#include "support/Picture.h"

namespace vexa {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

using test::eventually;

struct MjpegCamera : ::testing::Test {
  void startCamera(const std::string& user = "", const std::string& password = "") {
    camera::MjpegServerOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = 25;
    options.quality = 90;
    options.user = user;
    options.password = password;
    server = std::make_unique<camera::MjpegServer>(options);
    ASSERT_TRUE(server->start()) << server->lastError();
  }

  std::unique_ptr<IPCameraSite> playSite(const std::string& user = "",
                                         const std::string& password = "") {
    StreamConfig config;
    config.model = IPCAMERA_VIDEO_MODEL_HTTP_MJPEG;
    config.host = "127.0.0.1";
    config.httpPort = server->port();
    config.userName = user;
    config.password = password;
    auto site = std::make_unique<IPCameraSite>(config, 1);
    EXPECT_TRUE(site->Play());
    return site;
  }

  // Copies the newest picture out under the image lock, as the display does.
  std::vector<uint8_t> takeJpeg(IPCameraSite& site) {
    EXPECT_TRUE(site.LockCurImage(false));
    const uint8_t* data = nullptr;
    int32_t length = 0;
    EXPECT_TRUE(site.GetJpegFrame(&data, &length));
    std::vector<uint8_t> jpeg(data, data + length);
    site.UnlockCurImage();
    return jpeg;
  }

  std::unique_ptr<camera::MjpegServer> server;
};

TEST_F(MjpegCamera, SiteReceivesPicturesThatDecodeToTheGeneratedOnes) {
  startCamera();
  auto site = playSite();
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));
  EXPECT_GT(site->GetVideoBitrate(), 0u);

  const std::vector<uint8_t> jpeg = takeJpeg(*site);
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  MjpegDecoder decoder;
  ASSERT_TRUE(decoder.Open());
  std::vector<uint8_t> image(kDisplayPictureBytes);
  BITMAPINFOHEADER info{};
  ASSERT_EQ(decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info), 0);
  EXPECT_EQ(info.biWidth, kWidth);
  EXPECT_EQ(info.biHeight, kHeight);

  // The camera tags each picture with its frame index: compare with exactly that frame.
  const auto index = camera::taggedFrameIndex(jpeg);
  ASSERT_TRUE(index.has_value());
  const camera::PictureGenerator generator(kWidth, kHeight);
  const std::vector<uint8_t> topDown = test::flipRows(image.data(), kWidth, kHeight);
  EXPECT_LT(test::meanAbsoluteError(topDown, generator.bgrFrame(*index).pixels), 3.0)
      << "mean difference per byte, allowing for JPEG loss";
  // A different frame is measurably different, so the comparison means something.
  EXPECT_GT(test::meanAbsoluteError(topDown, generator.bgrFrame(*index + 37).pixels), 3.0);
  site->Stop();
}

TEST_F(MjpegCamera, CredentialsAreSentAndAWrongPasswordGivesNoPicture) {
  startCamera("admin", "1234");
  auto wrong = playSite("admin", "wrong");
  auto right = playSite("admin", "1234");
  ASSERT_TRUE(eventually([&] { return right->GetFrameNumber() >= 2; }));
  ASSERT_TRUE(eventually([&] { return server->unauthorisedRequests() >= 1; }));
  EXPECT_EQ(wrong->GetFrameNumber(), 0u);
  wrong->Stop();
  right->Stop();
}

TEST_F(MjpegCamera, StoppingAndDestroyingWhileStreamingIsClean) {
  startCamera();
  for (int round = 0; round < 3; ++round) {
    auto site = playSite();
    ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 1; }));
    site->Stop();
  }
  // The camera going away while a site plays ends the worker quietly.
  auto site = playSite();
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 1; }));
  server->stop();
  const uint32_t frames = site->GetFrameNumber();
  platform::sleepMs(300);
  EXPECT_LE(site->GetFrameNumber(), frames + 1);
}

}  // namespace
}  // namespace vexa
