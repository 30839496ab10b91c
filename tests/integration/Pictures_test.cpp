// Every road against the simulated camera over loopback: the sites' pictures decode to what the
// camera generated, the sound and the receiver reports flow, and stopping is clean.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "camera/MjpegServer.h"
#include "camera/PictureGenerator.h"
#include "camera/RtspServer.h"
#include "media/H264Decoder.h"
#include "media/MjpegDecoder.h"
#include "media/VideoDecoderSet.h"
#include "platform/Thread.h"
#include "platform/Dialogs.h"
#include "record/AviRecorder.h"
#include "session/IPCameraSite.h"
#include "session/StreamPlayer.h"
#include "support/AviReader.h"
#include "support/Loopback.h"
#include "support/Picture.h"
#include "support/SitePictures.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using test::eventually;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 25;
// The camera's frame index runs with time; every index up to this many is a candidate.
constexpr uint32_t kCandidateFrames = 40 * kFps;
// UDP sites bind the fixed client ports of their slot: one far from the viewer's own.
constexpr uint32_t kUdpSlot = 41;

struct EveryRoad : ::testing::Test {
  void SetUp() override {
    auto [rtsp, mjpeg] = test::serverOptions({.width = kWidth, .height = kHeight, .fps = kFps});
    rtsp.senderReportIntervalMs = 200;  // the reports to answer come soon
    rtsp.stapA = true;                  // parameter sets aggregated, as many cameras send them
    rtspServer = std::make_unique<camera::RtspServer>(rtsp);
    mjpegServer = std::make_unique<camera::MjpegServer>(mjpeg);
    ASSERT_TRUE(rtspServer->start()) << rtspServer->lastError();
    ASSERT_TRUE(mjpegServer->start()) << mjpegServer->lastError();
  }

  std::unique_ptr<IPCameraSite> playSite(uint32_t model, const std::string& path,
                                         const std::string& user = {},
                                         const std::string& password = {}) {
    StreamConfig config;
    config.userName = user;
    config.password = password;
    config.model = model;
    config.host = "127.0.0.1";
    config.path = path;
    config.rtspPort = rtspServer->port();
    config.httpPort = mjpegServer->port();
    auto site = std::make_unique<IPCameraSite>(config, kUdpSlot);
    site->setH264Decoder(h264.get());
    EXPECT_TRUE(site->Play());
    return site;
  }

  std::unique_ptr<camera::RtspServer> rtspServer;
  std::unique_ptr<camera::MjpegServer> mjpegServer;
  std::unique_ptr<H264Decoder> h264 = VideoDecoderSet::openH264();
};

double psnrToClosestFrame(const std::vector<uint8_t>& bottomUp) {
  return test::psnrToClosestFrame(bottomUp, kWidth, kHeight, kCandidateFrames);
}

TEST_F(EveryRoad, EveryRoadShowsTheGeneratedPicturesWithItsSound) {
  ASSERT_NE(h264, nullptr);
  const struct {
    uint32_t model;
    const char* path;
    bool sound;
  } roads[] = {
      {IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264, "/h264", true},
      {IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG, "/jpeg", true},
      {IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264, "/h264", true},
      {IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG, "/jpeg", true},
      {IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_MPEG4, "/mpeg4", true},
      {IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4, "/mpeg4", true},
      {IPCAMERA_VIDEO_MODEL_HTTP_MJPEG, "/", false},
      {IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_H264, "/h264", true},
      {IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_JPEG, "/jpeg", true},
      {IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_MPEG4, "/mpeg4", true},
  };
  for (const auto& road : roads) {
    SCOPED_TRACE("model " + std::to_string(road.model));
    const uint64_t reportsBefore = rtspServer->receiverReportsReceived();
    auto site = playSite(road.model, road.path);
    ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 3; }));
    const std::vector<uint8_t> image = test::takePicture(*site, kWidth, kHeight);
    ASSERT_FALSE(image.empty());
    EXPECT_GE(psnrToClosestFrame(image), 30.0);
    EXPECT_GT(site->GetVideoBitrate(), 0u);
    EXPECT_EQ(site->GetVideoDrop(), 0);
    if (road.sound) {
      EXPECT_EQ(site->audioCodec(), kAudioCodecPcmu);
      EXPECT_TRUE(eventually([&] { return site->GetAudioBitrate() > 0; }));
      // Sender reports are answered, on the connection or from the slot's RTCP port.
      EXPECT_TRUE(eventually([&] { return rtspServer->receiverReportsReceived() > reportsBefore; }));
    }
    site->Stop();
    // TEARDOWN (or the closed connection) ends the camera's session.
    EXPECT_TRUE(eventually([&] { return rtspServer->activeClients() == 0; }));
  }
  // A different frame is far below the bar, so the comparisons mean something.
  const camera::PictureGenerator generator(kWidth, kHeight);
  EXPECT_LT(test::psnr(generator.bgrFrame(0).pixels, generator.bgrFrame(37).pixels), 30.0);
}

TEST_F(EveryRoad, StoppingAndDestroyingWhileStreamingIsCleanAndAnUnknownPathStaysDark) {
  for (int round = 0; round < 3; ++round) {
    auto site = playSite(IPCAMERA_VIDEO_MODEL_HTTP_MJPEG, "/");
    ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 1; }));
    site->Stop();
  }
  auto dark = playSite(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264_2, "/nothing-here");
  EXPECT_TRUE(eventually([&] { return dark->failure().has_value(); }));
  EXPECT_EQ(dark->GetFrameNumber(), 0u);
  // The camera going away while a site plays leaves the picture still.
  auto site = playSite(IPCAMERA_VIDEO_MODEL_HTTP_MJPEG, "/");
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 1; }));
  mjpegServer->stop();
  const uint32_t frames = site->GetFrameNumber();
  platform::sleepMs(300);
  EXPECT_LE(site->GetFrameNumber(), frames + 1);
}

// The tunnel carries the credentials on both of its connections, and its receiver reports, sent
// on the POST alone, keep the session alive past its time-out; a wrong password opens nothing.
TEST_F(EveryRoad, TheTunnelOutlivesItsSessionTimeoutOnlyWithTheRightPassword) {
  constexpr int kSessionTimeoutSeconds = 3;
  constexpr int kPlayedMs = 10000;
  auto [rtsp, unused] = test::serverOptions({.width = kWidth, .height = kHeight, .fps = kFps});
  rtsp.user = "viewer";
  rtsp.password = "secret";
  rtsp.sessionTimeoutSeconds = kSessionTimeoutSeconds;
  rtsp.senderReportIntervalMs = 200;
  rtspServer = std::make_unique<camera::RtspServer>(rtsp);
  ASSERT_TRUE(rtspServer->start()) << rtspServer->lastError();
  auto site = playSite(IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_MPEG4, "/mpeg4", "viewer", "secret");
  ASSERT_TRUE(eventually([&] { return site->GetFrameNumber() >= 1; }));
  platform::sleepMs(kPlayedMs);
  const uint32_t frames = site->GetFrameNumber();
  EXPECT_TRUE(eventually([&] { return site->GetFrameNumber() > frames; }));
  EXPECT_FALSE(site->failure().has_value());
  EXPECT_GT(rtspServer->receiverReportsReceived(), 0u);
  EXPECT_EQ(rtspServer->postedFrames(), rtspServer->receiverReportsReceived());
  EXPECT_EQ(rtspServer->droppedGetBytes(), 0u);
  site->Stop();
  auto dark = playSite(IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_MPEG4, "/mpeg4", "viewer", "wrong");
  EXPECT_TRUE(eventually([&] { return dark->failure().has_value(); }));
  EXPECT_EQ(dark->GetFrameNumber(), 0u);
  dark->Stop();
}

// A recording stopped while H.264 units still flow: the player stops the decode thread, then
// finishes the file; the frame rate came from the description, the request gave none.
TEST_F(EveryRoad, ARecordingStoppedWhileUnitsFlowIsFinishedWhole) {
  test::TempFolder folder;
  platform::RecordingDialogs dialogs;
  StreamPlayer player(dialogs, [](StreamRecorder::FailureReport report) {
    return std::make_unique<AviRecorder>(std::move(report));
  });
  player.setMarkerFolder(folder.path() + "/");
  StreamConfig& config = player.config();
  config.model = IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264;
  config.host = "127.0.0.1";
  config.path = "/h264";
  config.rtspPort = rtspServer->port();
  player.Start();
  ASSERT_TRUE(eventually([&] { return player.hasSite(); }));
  ASSERT_TRUE(player.StartRecord(folder.file("cam.avi")));
  // Past the six pictures the recorder holds back.
  ASSERT_TRUE(eventually([&] { return player.GetFrameNumber() >= 12; }));
  player.Stop();
  EXPECT_FALSE(player.IsRecording());
  const test::AviFile avi = test::readAvi(folder.read("cam001.avi"));
  EXPECT_EQ(avi.problem, "");
  EXPECT_TRUE(avi.hasIndex);
  EXPECT_GE(avi.chunks.size(), 6u);
  EXPECT_EQ(avi.rate, uint32_t(kFps));
  EXPECT_EQ(std::pair(avi.width, avi.height), std::pair(uint32_t(kWidth), uint32_t(kHeight)));
  // The recording begins with whatever unit comes first after the request, key or not.
  EXPECT_EQ(avi.flags.size(), avi.chunks.size());
  EXPECT_TRUE(dialogs.messages().empty());
  player.Release();
}

}  // namespace
}  // namespace vexa
