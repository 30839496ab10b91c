#include <gtest/gtest.h>

#include <filesystem>

#include "DisplayTestSupport.h"
#include "display/CImgDlg.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "record/ScopedTempFolder.h"

namespace vexa {
namespace {

class CImgDlgCapture : public testing::Test {
 protected:
  CImgDlgCapture() {
    window.create();
    window.setFolderOpener([this](const std::string& folder) { opened.push_back(folder); });
    view.path = test::FakeStreamView::Path::kMpeg4;
    view.picture = test::Picture::solid(32, 16, 0x123456);
  }
  void run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += CImgDlg::kDrawPeriodMs) {
      clock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
    }
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(temp.file(name)); }

  test::ScopedTempFolder temp;
  platform::ManualClock clock;
  platform::UiLoop loop{clock};
  test::FakeStreamView view;
  CImgDlg window{&view, nullptr, loop, 320, 240};
  std::vector<std::string> opened;
};

TEST_F(CImgDlgCapture, RequestIsServedInTheNextDrawCycle) {
  view.frameNumber = 1;
  run(5);
  EXPECT_TRUE(window.RequestCapture(temp.path(), "shot.bmp"));
  EXPECT_FALSE(window.RequestCapture(temp.path(), "second.bmp"));  // one pending at a time
  EXPECT_TRUE(window.capturePending());
  EXPECT_FALSE(exists("shot.bmp"));

  run(5);
  EXPECT_FALSE(window.capturePending());
  ASSERT_TRUE(exists("shot.bmp"));
  EXPECT_FALSE(exists("second.bmp"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], temp.path() + "/");

  // The bitmap holds the picture on screen, and the temporary copy stays.
  const auto saved = test::readFileBytes(temp.file("shot.bmp"));
  ASSERT_EQ(saved.size(), 54u + 32 * 16 * 3);
  EXPECT_EQ(saved[54], 0x56);
  EXPECT_EQ(saved[56], 0x12);
  EXPECT_EQ(test::readFileBytes(temp.file("capture.bmp")), saved);

  EXPECT_TRUE(window.RequestCapture(temp.path() + "/", "again.bmp"));
  run(5);
  EXPECT_TRUE(exists("again.bmp"));
  EXPECT_EQ(opened.back(), temp.path() + "/");
}

TEST_F(CImgDlgCapture, StaysPendingWhileThereIsNoImageLock) {
  view.frameNumber = 1;
  run(5);
  view.lockAvailable = false;
  ASSERT_TRUE(window.RequestCapture(temp.path(), "later.png"));
  run(50);
  EXPECT_TRUE(window.capturePending());
  EXPECT_FALSE(exists("later.png"));
  EXPECT_TRUE(opened.empty());

  view.lockAvailable = true;
  run(5);
  EXPECT_FALSE(window.capturePending());
  EXPECT_TRUE(exists("later.png"));
  EXPECT_FALSE(view.locked);  // released again
}

}  // namespace
}  // namespace vexa
