#include "session/IPCameraSite.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

#include "platform/AudioInput.h"
#include "platform/Thread.h"

namespace vexa {
namespace {

StreamConfig configFor(uint32_t model) {
  StreamConfig config;
  config.model = model;
  config.host = "127.0.0.1";
  config.httpPort = 1;  // nothing listens: the worker fails to connect, quietly
  return config;
}

TEST(IPCameraSite, TakesTheBlockOfTenPortsOfItsSlotThatItsModelUses) {
  IPCameraSite udp(configFor(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264), 2);
  const StreamConfig& u = udp.config();
  EXPECT_EQ(std::tuple(u.videoRtpPort, u.videoRtcpPort, u.audioRtpPort, u.audioRtcpPort,
                       u.fifthPort),
            std::tuple(6110, 6111, 6115, 6116, 6118));
  IPCameraSite mjpeg(configFor(IPCAMERA_VIDEO_MODEL_HTTP_MJPEG), 3);
  const StreamConfig& m = mjpeg.config();
  EXPECT_EQ(std::tuple(m.videoRtpPort, m.videoRtcpPort, m.audioRtpPort), std::tuple(6120, 6121, 0));
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

TEST(IPCameraSite, TalkOpensTheMicrophoneOnceForTwoSwitchesOnAndEndsWithTheSite) {
  constexpr uint32_t kTalkSlot = 7;
  platform::ScriptedMicrophone microphone({.pcm = std::vector<uint8_t>(2048), .repeat = true});
  {
    IPCameraSite site(configFor(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264), kTalkSlot, nullptr, {},
                      microphone.factory());
    site.SetTalk(true);
    site.SetTalk(true);
    while (!site.talk()->running()) platform::sleepMs(1);
  }  // gone while talking: its talk thread is joined
  EXPECT_EQ(microphone.opens(), 1u);

  IPCameraSite interleaved(configFor(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264), kTalkSlot, nullptr,
                           {}, microphone.factory());
  EXPECT_EQ(interleaved.talk(), nullptr);  // no talk channel
  interleaved.SetTalk(true);
  EXPECT_EQ(microphone.opens(), 1u);
}

}  // namespace
}  // namespace vexa
