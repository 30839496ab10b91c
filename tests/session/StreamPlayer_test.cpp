#include "session/StreamPlayer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/Dialogs.h"
#include "record/AviRecorder.h"
#include "session/IPCameraSite.h"
#include "session/PlayerSlot.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

struct MarkerFolder : ::testing::Test {
  std::string path() const { return temp.path() + "/"; }
  bool markerExists(uint32_t number) const {
    return std::filesystem::exists(PlayerSlot::markerPath(path(), number));
  }
  // Model 3 has no handler: nothing goes on the network. Stop waits for the start thread.
  void startAndStop(StreamPlayer& player, uint32_t model = 3) {
    player.setMarkerFolder(path());
    player.config().model = model;
    player.Start();
    player.Stop();
  }

  test::TempFolder temp;
  platform::RecordingDialogs dialogs;
};

TEST_F(MarkerFolder, SlotsAreClaimedInOrderAndReleaseDeletesExactlyItsOwnMarker) {
  EXPECT_EQ(PlayerSlot::claim(path()), 1u);
  EXPECT_EQ(PlayerSlot::claim(path()), 2u);
  std::ifstream marker(PlayerSlot::markerPath(path(), 0), std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(marker)), {});
  ASSERT_EQ(content.size(), 114u);
  EXPECT_EQ(content.rfind("This file is created by ", 0), 0u);
  EXPECT_EQ(content.substr(content.size() - 18), std::string("killed after use.\0", 18));
  PlayerSlot::release(path(), 2);
  EXPECT_TRUE(markerExists(0));
  EXPECT_FALSE(markerExists(1));
  // The freed number is taken by the next player.
  EXPECT_EQ(PlayerSlot::claim(path()), 2u);
}

TEST_F(MarkerFolder, PlayerClaimsASlotOnStartAndFreesItOnRelease) {
  StreamPlayer first(dialogs), second(dialogs);
  startAndStop(first);
  startAndStop(second);
  EXPECT_EQ(first.slot(), 1u);
  EXPECT_EQ(second.slot(), 2u);
  EXPECT_NE(first.site(), nullptr);
  first.Release();
  EXPECT_EQ(first.site(), nullptr);
  EXPECT_FALSE(markerExists(0));
  EXPECT_TRUE(markerExists(1));
}

TEST_F(MarkerFolder, WithEveryNumberTakenThePlayerWarnsAndKeepsOthersMarkers) {
  for (uint32_t i = 0; i < PlayerSlot::kSlotCount; ++i) {
    std::ofstream(PlayerSlot::markerPath(path(), i)) << "taken";
  }
  StreamPlayer player(dialogs);
  startAndStop(player);
  EXPECT_EQ(player.slot(), 1000u);
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text, "Too many Stream Players !!!");
  EXPECT_EQ(dialogs.messages()[0].caption, "Too many Stream Players !!!");
  player.Release();
  // The last number belongs to whoever created it, not to this player.
  EXPECT_TRUE(markerExists(999));
}

TEST_F(MarkerFolder, ForwardersAnswerWithoutASite) {
  StreamPlayer player(dialogs);
  EXPECT_FALSE(player.LockCurImage(false));
  EXPECT_EQ(player.GetFrameNumber(), 0u);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(1);
  int32_t length = 99;
  EXPECT_TRUE(player.GetJpegFrame(&data, &length));
  EXPECT_EQ(std::pair(data, length), (std::pair<const uint8_t*, int32_t>(nullptr, 0)));
  EXPECT_EQ(std::tuple(player.GetMpeg4Frame(nullptr, nullptr, nullptr),
                       player.GetH264Frame(nullptr, nullptr, nullptr),
                       player.LendH264Frame(nullptr, nullptr)),
            std::tuple(1, -1, -1));
  EXPECT_TRUE(player.IsH264Model() && player.IsMpeg4Model() && player.muted());
}

TEST_F(MarkerFolder, MuteReachesTheSite) {
  StreamPlayer player(dialogs);
  player.config().host = "127.0.0.1";
  player.config().rtspPort = 1;
  startAndStop(player, IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264);
  ASSERT_NE(player.site(), nullptr);
  EXPECT_FALSE(player.site()->audioOn());  // muted at construction
  player.SetMute(false);
  EXPECT_TRUE(player.site()->audioOn());
}

// JPEG and H.264 models are recorded; the MPEG-4 family and unused values are not. The request
// waits for the first picture, so each accepted one is withdrawn before the next.
TEST_F(MarkerFolder, StartRecordFollowsTheModelAndNeedsASite) {
  StreamPlayer player(dialogs, [](StreamRecorder::FailureReport report) {
    return std::make_unique<AviRecorder>(std::move(report));
  });
  const std::string file = path() + "cam.avi";
  EXPECT_FALSE(player.StartRecord(file));
  EXPECT_FALSE(player.IsRecording());
  startAndStop(player);
  const std::set<uint32_t> recorded = {0, 2, 4, 6, 8, 10, 12, 13, 14, 15, 17, 18, 19};
  for (uint32_t model = 0; model <= 21; ++model) {
    player.config().model = model;
    const bool expected = recorded.contains(model);
    EXPECT_EQ(player.StartRecord(file), expected) << "model " << model;
    EXPECT_EQ(player.IsRecording(), expected) << "model " << model;
    player.StopRecord();
  }
}

}  // namespace
}  // namespace vexa
