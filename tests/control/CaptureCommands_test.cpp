#include "control/CaptureCommands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "display/CImgDlg.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/UiLoop.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

struct FakePlayer final : RecordTarget {
  bool site = true;
  std::string calls;
  bool hasSite() const override { return site; }
  bool StartRecord(const std::string& path) override {
    calls += "start " + path;
    return false;  // a refusal must not change the answer
  }
  void StopRecord() override { calls += "stop"; }
};

// One player, window and message list, fresh for each case of a table.
struct Rig {
  Rig(platform::UiLoop& loop, bool site, bool hasWindow = true, std::string chosen = "")
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

// Paths in the tables are suffixes of a temporary folder that holds one file, "plain".
struct CaptureCommandsTest : testing::Test {
  CaptureCommandsTest() { std::ofstream(temp.file("plain")) << "x"; }
  test::TempFolder temp;
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
};

enum Command { kJpegCapture, kRecord, kStopRecord };

TEST_F(CaptureCommandsTest, CommandsCheckSiteThenFolder) {
  const std::string captureMissing = "Capture Error|Capture path not exist!";
  const std::string recordMissing = "Capture Error|Record path not exist!";
  const std::string started = "start " + temp.file("rec.avi");
  const struct {
    Command command;
    bool site, hasWindow;
    const char* path;
    int32_t result;
    std::string shown, done;  // done: the player's calls, or "capture" for a pending snapshot
  } cases[] = {
      {kJpegCapture, false, true, "/missing", 1, "", ""},  // before a start no folder is checked
      {kJpegCapture, true, true, "/missing", -1, captureMissing, ""},
      {kJpegCapture, true, true, "/plain", -1, captureMissing, ""},
      {kJpegCapture, true, false, "", -1, "", ""},
      {kJpegCapture, true, true, "", 0, "", "capture"},
      {kRecord, false, true, "", -1, "", ""},
      {kStopRecord, false, true, "", -1, "", ""},
      {kRecord, true, true, "/plain", -1, recordMissing, ""},
      {kRecord, true, true, "/missing", -1, recordMissing, ""},
      {kRecord, true, true, "", 0, "", started},
      {kRecord, true, true, "/", 0, "", started},            // separator not doubled
      {kStopRecord, true, true, "/missing", 0, "", "stop"},  // stopping checks no folder
  };
  for (const auto& c : cases) {
    Rig rig(loop, c.site, c.hasWindow);
    SCOPED_TRACE(testing::Message() << c.command << c.site << c.hasWindow << c.path);
    const std::string path = temp.path() + c.path;
    EXPECT_EQ(c.command == kJpegCapture
                  ? rig.commands.JpegCapture(path, "shot.jpg")
                  : rig.commands.Record(c.command == kRecord, path, "rec.avi"),
              c.result);
    EXPECT_EQ(rig.shown(), c.shown);
    EXPECT_EQ(rig.player.calls + (rig.window.capturePending() ? "capture" : ""), c.done);
  }
}

TEST_F(CaptureCommandsTest, SelectFolderEndsInOneSlashOrIsEmpty) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"/home/user", "/home/user/"}, {"/media/", "/media/"}, {"/", "/"}};
  for (const auto& [chosen, answer] : cases) {
    EXPECT_EQ(Rig(loop, true, true, chosen).commands.SelectFolder(), answer) << chosen;
  }
}

}  // namespace
}  // namespace vexa
