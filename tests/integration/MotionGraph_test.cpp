// The video window's motion graph against the simulated camera's motion port over loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/MotionServer.h"
#include "display/CImgDlg.h"
#include "display/CMotionStateDlg.h"
#include "display/MotionState.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;

constexpr int kThreshold = 70;
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 240;

// A stream that has shown one picture: the draw cycle runs on to its housekeeping.
class ShownStream final : public StreamView {
 public:
  bool hasPlayer() const override { return true; }
  uint32_t GetFrameNumber() override { return 1; }
  bool LockCurImage(bool) override { return false; }
  void UnlockCurImage() override {}
  bool IsH264Model() override { return false; }
  bool IsMpeg4Model() override { return false; }
  bool GetJpegFrame(const uint8_t**, int32_t*) override { return false; }
  int32_t GetH264Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) override { return -1; }
  int32_t LendH264Frame(PictureLease*, BITMAPINFOHEADER*) override { return -1; }
  int32_t GetMpeg4Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) override { return -1; }
  StreamFigures readFigures() override { return {}; }
  void stopPlayer() override {}
  void restartPlayer() override {}
};

struct Sent {
  std::vector<int8_t> levels;
  int threshold = -1;
};

// The camera's own record of its values: "XX$" each, levels 0..100, thresholds 100 + t.
Sent parseSent(const std::string& text) {
  Sent sent;
  for (size_t end = text.find('$'); end != std::string::npos; end = text.find('$', end + 1)) {
    const int value = int(std::strtol(text.substr(end - 2, 2).c_str(), nullptr, 16));
    if (value <= 100) sent.levels.push_back(int8_t(value));
    if (value > 100 && value <= 200) sent.threshold = value - 100;
  }
  return sent;
}

TEST(MotionGraph, ShowsTheLevelsAndThresholdTheCameraSent) {
  camera::MotionServerOptions options;
  options.port = 0;
  options.threshold = kThreshold;
  camera::MotionServer server(options);
  ASSERT_TRUE(server.start()) << server.lastError();

  platform::ManualClock clock;
  platform::UiLoop loop(clock);
  ShownStream stream;
  CImgDlg window(&stream, {}, loop, kWindowWidth, kWindowHeight);
  window.create();
  window.SetBrand("KORVA");
  window.StartMotion("http://127.0.0.1:" + std::to_string(server.port()) + "/index.html",
                     server.port());
  window.ShowMotionState();
  CMotionStateDlg& motion = *window.motionStateWindow();
  ASSERT_EQ(motion.placement().value().y, kWindowHeight + CMotionStateDlg::kGapBelowVideo);

  // A threshold comes once a second, after ten levels.
  ASSERT_TRUE(eventually([&] { return parseSent(server.sentText()).threshold >= 0; }));
  server.stop();
  ASSERT_TRUE(eventually([&] { return motion.poller()->finished(); }));

  // Housekeeping refreshes only once 100 ms passed since the last.
  const uint64_t before = motion.serial();
  clock.advance(CImgDlg::kDrawPeriodMs);
  loop.runDue();
  EXPECT_EQ(motion.serial(), before);
  clock.advance(CImgDlg::kHousekeepingPeriodMs);
  loop.runDue();
  ASSERT_NE(motion.serial(), before);

  const Sent sent = parseSent(server.sentText());
  ASSERT_LE(sent.levels.size(), size_t(CMotionStateDlg::kHistoryLength));
  ASSERT_TRUE(std::any_of(sent.levels.begin(), sent.levels.end(), [](int8_t l) { return l > 0; }));
  std::vector<int8_t> shown = motion.history();
  shown.erase(shown.begin(), shown.end() - std::ptrdiff_t(sent.levels.size()));
  EXPECT_EQ(shown, sent.levels);
  EXPECT_EQ(motion.threshold(), kThreshold);

  // Closed, the window is no longer drawn, though its poller stays.
  window.CloseMotionState();
  const uint64_t closed = motion.serial();
  clock.advance(CImgDlg::kHousekeepingPeriodMs);
  loop.runDue();
  EXPECT_EQ(motion.serial(), closed);
  EXPECT_NE(motion.poller(), nullptr);
}

}  // namespace
}  // namespace vexa
