#include "viewer/ViewerCalls.h"

#include <gtest/gtest.h>

#include <sstream>

#include "script/ScriptSession.h"
#include "support/RecordingControl.h"

namespace vexa::viewer {
namespace {

TEST(ViewerCalls, OptionsBecomeCallsOnTheScriptsPathAndARefusalEndsThem) {
  ViewerOptions options;
  options.user = "admin";
  options.mute = true;
  options.talk = true;
  options.protocol = 10;
  options.address = "127.0.0.1:8554/h264";
  test::RecordingControl control;
  ScriptSession session(control);
  std::ostringstream out, err;
  ASSERT_TRUE(runOptionCalls(session, startCalls(options), true, out, err));
  EXPECT_EQ(control.calls,
            (std::vector<std::string>{"Mute(true)", "SetAttrStr(USER,admin)",
                                      "SetAttrStr(DISPLAYMODE,STRETCH)",
                                      "Play(127.0.0.1:8554/h264,10)", "Mic(true)"}));
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')), R"({"call":"Mute","args":[true]})");

  // Every call refused: the sound switch may be, the next call may not.
  control.calls.clear();
  control.number = -1;
  EXPECT_FALSE(runOptionCalls(session, startCalls(options), false, out, err));
  EXPECT_EQ(control.calls, (std::vector<std::string>{"Mute(true)", "SetAttrStr(USER,admin)"}));
  EXPECT_EQ(err.str(), "vexa-viewer: refused: " R"({"call":"SetAttrStr","args":["USER","admin"]})" "\n");
}

}  // namespace
}  // namespace vexa::viewer
