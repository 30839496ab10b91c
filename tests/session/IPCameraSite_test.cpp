#include "session/IPCameraSite.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vexa {
namespace {

StreamConfig configFor(uint32_t model) {
  StreamConfig config;
  config.model = model;
  config.host = "127.0.0.1";
  config.httpPort = 1;  // nothing listens: the worker fails to connect, quietly
  return config;
}

TEST(ClientPorts, AreBlocksOfTenPerSlot) {
  const ClientPorts first = clientPortsForSlot(1);
  EXPECT_EQ(first.videoRtp, 6100);
  EXPECT_EQ(first.videoRtcp, 6101);
  EXPECT_EQ(first.audioRtp, 6105);
  EXPECT_EQ(first.audioRtcp, 6106);
  EXPECT_EQ(first.fifth, 6108);
  const ClientPorts third = clientPortsForSlot(3);
  EXPECT_EQ(third.videoRtp, 6120);
  EXPECT_EQ(third.videoRtcp, 6121);
  EXPECT_EQ(third.audioRtp, 6125);
  EXPECT_EQ(third.audioRtcp, 6126);
  EXPECT_EQ(third.fifth, 6128);
}

TEST(IPCameraSite, SetsThePortsItsModelUses) {
  IPCameraSite udp(configFor(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264), 2);
  EXPECT_EQ(udp.config().videoRtpPort, 6110);
  EXPECT_EQ(udp.config().audioRtcpPort, 6116);
  EXPECT_EQ(udp.config().fifthPort, 6118);
  IPCameraSite mjpeg(configFor(IPCAMERA_VIDEO_MODEL_HTTP_MJPEG), 2);
  EXPECT_EQ(mjpeg.config().videoRtpPort, 6110);
  EXPECT_EQ(mjpeg.config().videoRtcpPort, 6111);
  EXPECT_EQ(mjpeg.config().audioRtpPort, 0);
}

TEST(IPCameraSite, ModelsWithoutHandlerConstructPlayAndStopAsNoOps) {
  for (uint32_t model : {3u, 11u, 16u, 20u, 1000u}) {
    IPCameraSite site(configFor(model), 1);
    EXPECT_FALSE(site.Play()) << model;
    EXPECT_FALSE(site.LockCurImage(false));
    EXPECT_EQ(site.GetFrameNumber(), 0u);
    EXPECT_EQ(site.GetVideoBitrate(), 0u);
    EXPECT_TRUE(site.SetAudio("ON"));
    const uint8_t* data = nullptr;
    int32_t length = 0;
    EXPECT_FALSE(site.GetJpegFrame(&data, &length));
    site.Stop();
  }
}

TEST(IPCameraSite, AudioIsOffOnlyForTextsContainingUpperCaseOff) {
  IPCameraSite site(configFor(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264), 1);
  for (const char* text : {"OFF", "TURN_OFF_NOW"}) {
    EXPECT_TRUE(site.SetAudio(text));
    EXPECT_FALSE(site.audioOn()) << text;
  }
  for (const char* text : {"ON", "", "off"}) {
    EXPECT_TRUE(site.SetAudio(text));
    EXPECT_TRUE(site.audioOn()) << text;
  }
}

TEST(IPCameraSite, AnswersTheFamilyTests) {
  for (uint32_t model = 0; model < 22; ++model) {
    IPCameraSite site(configFor(model), 1);
    const bool h264 = model == 10 || model == 12 || model == 13 || model == 14 || model == 15 ||
                      model == 17 || model == 18 || model == 19;
    const bool mpeg4 = model == 1 || model == 3 || model == 5 || model == 7 || model == 9;
    EXPECT_EQ(site.IsH264Model(), h264) << model;
    EXPECT_EQ(site.IsMpeg4Model(), mpeg4) << model;
  }
}

TEST(IPCameraSite, TheImageLockExistsOnlyAfterPlayAndTryLockFailsWhileHeld) {
  IPCameraSite site(configFor(IPCAMERA_VIDEO_MODEL_HTTP_MJPEG), 1);
  EXPECT_FALSE(site.LockCurImage(true));
  EXPECT_TRUE(site.Play());
  ASSERT_TRUE(site.LockCurImage(false));
  std::atomic<bool> otherGotIt{true};
  std::thread([&] { otherGotIt = site.LockCurImage(true); }).join();
  EXPECT_FALSE(otherGotIt);
  site.UnlockCurImage();
  EXPECT_TRUE(site.LockCurImage(true));
  site.UnlockCurImage();
  site.Stop();
}

}  // namespace
}  // namespace vexa
