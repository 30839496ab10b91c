// The RTSP sites against the simulated camera over loopback, interleaved (models 12 and 4) and
// with RTP over UDP to the slot's client ports (models 10 and 0): the dialogue runs, pictures
// decode to what the camera generated, and receiver reports reach it.
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

  // UDP models bind the fixed client ports of their slot: slots far from the viewer's own.
  static constexpr uint32_t kH264UdpSlot = 41;
  static constexpr uint32_t kJpegUdpSlot = 42;

  std::unique_ptr<IPCameraSite> playSite(uint32_t model, const std::string& path, uint32_t slot = 1) {
    StreamConfig config;
    config.model = model;
    config.host = "127.0.0.1";
    config.path = path;
    config.rtspPort = server->port();
    auto site = std::make_unique<IPCameraSite>(config, slot);
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

// The newest decoded picture of an H.264 site, bottom-up; empty when none came.
std::vector<uint8_t> takeH264Picture(IPCameraSite& site) {
  std::vector<uint8_t> image(kDecodedFrameBytes);
  int32_t size = int32_t(image.size());
  BITMAPINFOHEADER info{};
  if (!site.LockCurImage(false)) return {};
  const int32_t left = site.GetH264Frame(image.data(), &size, &info);
  site.UnlockCurImage();
  if (left < 0 || info.biWidth != kWidth || info.biHeight != kHeight) return {};
  image.resize(size_t(kWidth) * kHeight * 3);
  return image;
}

// The newest JPEG picture of a JPEG site, decoded bottom-up; empty when none came.
std::vector<uint8_t> takeJpegPicture(IPCameraSite& site) {
  if (!site.LockCurImage(false)) return {};
  const uint8_t* data = nullptr;
  int32_t length = 0;
  std::vector<uint8_t> jpeg;
  if (site.GetJpegFrame(&data, &length) && data != nullptr && length > 0) jpeg.assign(data, data + length);
  site.UnlockCurImage();
  MjpegDecoder decoder;
  std::vector<uint8_t> image(kDisplayPictureBytes);
  BITMAPINFOHEADER info{};
  if (jpeg.empty() || !decoder.Open() ||
      decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info) != 0 || info.biWidth != kWidth) {
    return {};
  }
  image.resize(size_t(kWidth) * kHeight * 3);
  return image;
}

TEST_F(RtspCamera, H264OverUdpSiteShowsTheGeneratedPicturesAndTearsDown) {
  ASSERT_NE(h264, nullptr);
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264, "/h264", kH264UdpSlot);
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));
  const std::vector<uint8_t> image = takeH264Picture(*site);
  ASSERT_FALSE(image.empty());
  EXPECT_LT(distanceToClosestFrame(image), 4.0);
  EXPECT_GT(site->GetVideoBitrate(), 0u);
  EXPECT_EQ(site->GetVideoDrop(), 0);
  EXPECT_EQ(site->audioCodec(), kAudioCodecPcmu);
  // The audio track arrives on the slot's audio port.
  EXPECT_TRUE(eventually([&] { return site->GetAudioBitrate() > 0; }));
  // Sender reports reach the slot's RTCP port and are answered from it.
  EXPECT_TRUE(eventually([&] { return server->receiverReportsReceived() >= 1; }));
  site->Stop();
  // TEARDOWN ends the camera's session and with it the datagrams.
  EXPECT_TRUE(eventually([&] { return server->activeClients() == 0; }));
}

TEST_F(RtspCamera, JpegOverUdpSiteRebuildsPicturesThatDecodeToTheGeneratedOnes) {
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG, "/jpeg", kJpegUdpSlot);
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));
  const std::vector<uint8_t> image = takeJpegPicture(*site);
  ASSERT_FALSE(image.empty());
  EXPECT_LT(distanceToClosestFrame(image), 4.0);
  site->Stop();
}

TEST_F(RtspCamera, H264SiteShowsTheGeneratedPicturesAndAnswersSenderReports) {
  ASSERT_NE(h264, nullptr);
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264, "/h264");
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));
  const std::vector<uint8_t> image = takeH264Picture(*site);
  ASSERT_FALSE(image.empty());
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
  const std::vector<uint8_t> image = takeJpegPicture(*site);
  ASSERT_FALSE(image.empty());
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
