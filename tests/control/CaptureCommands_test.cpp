#include "control/CaptureCommands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "display/CImgDlg.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/UiLoop.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

struct FakePlayer final : RecordTarget {
  bool site = true;
  std::vector<std::string> starts;
  int stops = 0;
  bool hasSite() const override { return site; }
  bool StartRecord(const std::string& path) override {
    starts.push_back(path);
    return false;  // a refusal must not change the answer
  }
  void StopRecord() override { ++stops; }
};

// One player, window and message list, fresh for each case of a table.
struct Rig {
  Rig(platform::UiLoop& loop, bool site, bool hasWindow, std::string chosen = "")
      : window(nullptr, {}, loop, 64, 48),
        commands(player, hasWindow ? &window : nullptr, dialogs, [chosen] { return chosen; }) {
    player.site = site;
  }
  std::string shown() const {
    std::string all;
    for (const auto& message : dialogs.messages()) all += message.caption + "|" + message.text;
    return all;
  }
  FakePlayer player;
  CImgDlg window;
  platform::RecordingDialogs dialogs;
  CaptureCommands commands;
};

// Paths in the table are suffixes of a temporary folder that holds one file, "plain".
struct CaptureCommandsTest : testing::Test {
  CaptureCommandsTest() { std::ofstream(temp.file("plain")) << "x"; }
  test::TempFolder temp;
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
};

TEST_F(CaptureCommandsTest, JpegCaptureChecksSiteThenFolderThenWindow) {
  const struct {
    bool site, hasWindow;
    const char* path;
    int32_t result;
    const char* shown;
    bool pending;
  } cases[] = {
      {false, true, "/missing", 1, "", false},  // before a start no folder is checked
      {true, true, "/missing", -1, "Capture Error|Capture path not exist!", false},
      {true, true, "/plain", -1, "Capture Error|Capture path not exist!", false},
      {true, false, "", -1, "", false},
      {true, true, "", 0, "", true},
  };
  for (const auto& c : cases) {
    Rig rig(loop, c.site, c.hasWindow);
    SCOPED_TRACE(testing::Message() << c.site << c.hasWindow << c.path);
    EXPECT_EQ(rig.commands.JpegCapture(temp.path() + c.path, "shot.jpg"), c.result);
    EXPECT_EQ(rig.shown(), c.shown);
    EXPECT_EQ(rig.window.capturePending(), c.pending);
  }
}

TEST_F(CaptureCommandsTest, RecordChecksFolderAndComposesPath) {
  const struct {
    bool site, state;
    const char* path;
    int32_t result;
    const char* shown;
    const char* started;  // file name under the folder, "" for none
    int stops;
  } cases[] = {
      {false, true, "", -1, "", "", 0},
      {false, false, "", -1, "", "", 0},
      {true, true, "/plain", -1, "Capture Error|Record path not exist!", "", 0},
      {true, true, "/missing", -1, "Capture Error|Record path not exist!", "", 0},
      {true, true, "", 0, "", "rec.avi", 0},
      {true, true, "/", 0, "", "rec.avi", 0},   // separator not doubled
      {true, false, "/missing", 0, "", "", 1},  // stopping checks no folder
  };
  for (const auto& c : cases) {
    Rig rig(loop, c.site, true);
    SCOPED_TRACE(testing::Message() << c.site << c.state << c.path);
    EXPECT_EQ(rig.commands.Record(c.state, temp.path() + c.path, "rec.avi"), c.result);
    EXPECT_EQ(rig.shown(), c.shown);
    const std::vector<std::string> started =
        *c.started ? std::vector<std::string>{temp.path() + "/" + c.started}
                   : std::vector<std::string>{};
    EXPECT_EQ(rig.player.starts, started);
    EXPECT_EQ(rig.player.stops, c.stops);
  }
}

TEST_F(CaptureCommandsTest, SelectFolderEndsInOneSlashOrIsEmpty) {
  const struct {
    const char* chosen;
    const char* answer;
  } cases[] = {{"", ""}, {"/home/user", "/home/user/"}, {"/media/", "/media/"}, {"/", "/"}};
  for (const auto& c : cases) {
    Rig rig(loop, true, true, c.chosen);
    EXPECT_EQ(rig.commands.SelectFolder(), c.answer) << c.chosen;
  }
}

}  // namespace
}  // namespace vexa
