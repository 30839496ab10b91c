#include "control/TalkSwitch.h"

#include <gtest/gtest.h>

#include "platform/AudioInput.h"
#include "platform/Dialogs.h"
#include "platform/Thread.h"
#include "session/IPCameraSite.h"
#include "session/StreamPlayer.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

TEST(TalkSwitch, WaitsForTheSiteAndOneSecondMoreOnTheLoopAndTheNewestSwitchWins) {
  test::TempFolder temp;
  platform::RecordingDialogs dialogs;
  platform::ScriptedMicrophone microphone({.pcm = std::vector<uint8_t>(2048), .repeat = true});
  StreamPlayer player(dialogs);
  player.setMarkerFolder(temp.path() + "/");
  player.setAudioInputFactory(microphone.factory());
  platform::ManualClock clock;
  platform::UiLoop loop(clock);
  TalkSwitch talk(loop, player);

  player.config().model = IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264;
  EXPECT_FALSE(talk.request(true));  // no talk channel

  player.config().model = IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264;
  player.config().host = "127.0.0.1";
  player.config().rtspPort = 1;  // nothing listens: the stream fails quietly
  ASSERT_TRUE(talk.request(true));
  ASSERT_TRUE(talk.request(false));  // within the wait: replaces the first
  player.Start();
  while (!player.hasSite()) platform::sleepMs(1);
  clock.advance(TalkSwitch::kSiteCheckMs);
  loop.runDue();
  clock.advance(TalkSwitch::kSettleMs);
  loop.runDue();
  EXPECT_FALSE(talk.pending());

  ASSERT_TRUE(talk.request(true));
  clock.advance(TalkSwitch::kSettleMs - 1);
  loop.runDue();
  EXPECT_EQ(talk.pending(), true);
  clock.advance(1);
  loop.runDue();
  EXPECT_FALSE(talk.pending());
  const IPCameraAudioWaveIn* siteTalk = player.site()->talk();
  while (!siteTalk->running()) platform::sleepMs(1);
  player.Release();
  EXPECT_EQ(microphone.opens(), 1u);  // the switch off never opened the device
}

}  // namespace
}  // namespace vexa
