// The interleaved RTSP sites (models 12 and 4) against the simulated camera over loopback: the
// dialogue runs, pictures decode to what the camera generated, and receiver reports reach it.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "camera/PictureGenerator.h"
#include "camera/RtspServer.h"
#include "media/H264Decoder.h"
#include "media/MjpegDecoder.h"
#include "media/VideoDecoderSet.h"
#include "session/IPCameraSite.h"
#include "support/Loopback.h"
#include "support/Picture.h"

namespace vexa {
namespace {

using test::eventually;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 25;
// The camera's frame index runs with time; every index up to this many is a candidate.
constexpr uint32_t kCandidateFrames = 40 * kFps;

struct RtspCamera : ::testing::Test {
  void SetUp() override {
    camera::RtspServerOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = kFps;
    options.quality = 90;
    server = std::make_unique<camera::RtspServer>(options);
    ASSERT_TRUE(server->start()) << server->lastError();
  }

  std::unique_ptr<IPCameraSite> playSite(uint32_t model, const std::string& path) {
    StreamConfig config;
    config.model = model;
    config.host = "127.0.0.1";
    config.path = path;
    config.rtspPort = server->port();
    auto site = std::make_unique<IPCameraSite>(config, 1);
    site->setH264Decoder(h264.get());
    EXPECT_TRUE(site->Play());
    return site;
  }

  // How far a decoded bottom-up picture is from the closest generated frame.
  static double distanceToClosestFrame(const std::vector<uint8_t>& bottomUp) {
    const camera::PictureGenerator generator(kWidth, kHeight);
    const std::vector<uint8_t> topDown = test::flipRows(bottomUp.data(), kWidth, kHeight);
    double best = std::numeric_limits<double>::max();
    for (uint32_t index = 0; index < kCandidateFrames; ++index) {
      best = std::min(best, test::meanAbsoluteError(topDown, generator.bgrFrame(index).pixels));
    }
    return best;
  }

  std::unique_ptr<camera::RtspServer> server;
  std::unique_ptr<H264Decoder> h264 = VideoDecoderSet::openH264();
};

TEST_F(RtspCamera, H264SiteShowsTheGeneratedPicturesAndAnswersSenderReports) {
  ASSERT_NE(h264, nullptr);
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264, "/h264");
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));

  std::vector<uint8_t> image(kDecodedFrameBytes);
  int32_t size = int32_t(image.size());
  BITMAPINFOHEADER info{};
  ASSERT_TRUE(site->LockCurImage(false));
  const int32_t left = site->GetH264Frame(image.data(), &size, &info);
  site->UnlockCurImage();
  ASSERT_GE(left, 0);
  ASSERT_EQ(info.biWidth, kWidth);
  ASSERT_EQ(info.biHeight, kHeight);
  image.resize(size_t(kWidth) * kHeight * 3);
  EXPECT_LT(distanceToClosestFrame(image), 4.0);

  EXPECT_TRUE(eventually([&] { return server->receiverReportsReceived() >= 1; }));
  EXPECT_GT(site->GetVideoBitrate(), 0u);
  EXPECT_GT(site->GetAudioBitrate(), 0u);
  EXPECT_EQ(site->GetVideoDrop(), 0);
  EXPECT_EQ(site->audioCodec(), kAudioCodecPcmu);
  site->Stop();
  // What the description said, read once the worker has ended.
  EXPECT_EQ(site->config().width, uint32_t(kWidth));
  EXPECT_TRUE(site->config().hasAudio);
}

TEST_F(RtspCamera, JpegSiteRebuildsPicturesThatDecodeToTheGeneratedOnes) {
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG, "/jpeg");
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));
  ASSERT_TRUE(site->LockCurImage(false));
  const uint8_t* data = nullptr;
  int32_t length = 0;
  ASSERT_TRUE(site->GetJpegFrame(&data, &length));
  const std::vector<uint8_t> jpeg(data, data + length);
  site->UnlockCurImage();

  MjpegDecoder decoder;
  ASSERT_TRUE(decoder.Open());
  std::vector<uint8_t> image(kDisplayPictureBytes);
  BITMAPINFOHEADER info{};
  ASSERT_EQ(decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info), 0);
  ASSERT_EQ(info.biWidth, kWidth);
  image.resize(size_t(kWidth) * kHeight * 3);
  EXPECT_LT(distanceToClosestFrame(image), 4.0);
  site->Stop();
}

TEST_F(RtspCamera, AnUnknownPathLeavesTheSiteDarkAndStopsCleanly) {
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264_2, "/nothing-here");
  platform::sleepMs(500);
  EXPECT_EQ(site->GetFrameNumber(), 0u);
  site->Stop();
}

}  // namespace
}  // namespace vexa
