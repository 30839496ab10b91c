#include "viewer/ViewerOptions.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vexa::viewer {
namespace {

TEST(ViewerOptions, ReadsEveryOptionAndTheAddress) {
  const ParseResult result = parseViewerOptions(
      {"--protocol", "2", "--user", "admin", "--pass", "1234", "--display-mode", "REALSIZE",
       "--fullscreen", "--headless", "--duration", "2.5", "--snapshot", "/tmp/s.png", "--stats",
       "--report-pictures", "--mute", "--paint-offscreen", "--motion-port", "6000",
       "--motion-snapshot", "m.png", "--ptz", "--http-port", "8081", "127.0.0.1:8008"});
  ASSERT_EQ(result.error, "");
  const ViewerOptions& o = result.options;
  EXPECT_EQ(std::tuple(o.protocol, o.user, o.password, o.displayMode, *o.durationSeconds,
                       o.snapshotPath, o.motionPort, o.motionSnapshotPath, o.address),
            std::tuple(2u, "admin", "1234", "REALSIZE", 2.5, "/tmp/s.png", 6000, "m.png",
                       "127.0.0.1:8008"));
  EXPECT_TRUE(o.fullscreen && o.headless && o.stats && o.reportPictures && o.mute &&
              o.paintOffscreen);
  EXPECT_TRUE(o.motion) << "a motion snapshot needs the graph";
  EXPECT_EQ(std::tuple(o.ptz, o.model, o.httpPort), std::tuple(true, "TQ330", 8081));
  const ParseResult named = parseViewerOptions({"--model", "TQ320", "--ptz", "a"});
  EXPECT_EQ(named.options.model, "TQ320");

  const ParseResult fisheye = parseViewerOptions(
      {"--fisheye", "4PTZ", "--fisheye-centre", "1297,-5", "--fisheye-diameter", "1900",
       "--fisheye-rotate-bias", "-90", "--sensor-mode", "2592x1944", "--rotation", "mirror",
       "--fisheye-view", "-10,-30,9", "--fisheye-calibrate", "a"});
  ASSERT_EQ(fisheye.error, "");
  const FisheyeOptions& f = fisheye.options.fisheye;
  EXPECT_EQ(std::tuple(f.mode, *f.centre, *f.diameter, *f.rotateBiasDegrees, f.calibrate),
            std::tuple("4PTZ", std::pair(1297, -5), 1900, -90, true));
  EXPECT_EQ(std::tuple(fisheye.options.sensorMode, fisheye.options.rotation),
            std::tuple("2592x1944", "mirror"));
  EXPECT_EQ(std::tuple(f.view->pan, f.view->tilt, f.view->zoomIndex), std::tuple(350, -30, 9));
  EXPECT_FALSE(parseViewerOptions({"a"}).options.fisheye.any());
}

TEST(ViewerOptions, DefaultsToModelOneStretchedUntilClosedAndHelpNeedsNoAddress) {
  const ParseResult result = parseViewerOptions({"camera.local"});
  ASSERT_EQ(result.error, "");
  const ViewerOptions& o = result.options;
  EXPECT_EQ(std::tuple(o.protocol, o.displayMode, o.durationSeconds.has_value(), o.headless,
                       o.reportPictures, o.ptz, o.model, o.httpPort, o.motion, o.motionPort),
            std::tuple(1u, "STRETCH", false, false, false, false, "", 80, false, 5656));
  EXPECT_FALSE(o.mute) << "sound plays unless asked otherwise";
  const ParseResult help = parseViewerOptions({"--help"});
  EXPECT_EQ(help.error, "");
  EXPECT_TRUE(help.options.help);
  EXPECT_NE(viewerUsage().find("--snapshot"), std::string::npos);
  EXPECT_NE(viewerUsage().find("--report-pictures"), std::string::npos);
}

TEST(ViewerOptions, RefusesBadArgumentsWithAOneLineReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--protocol", "two", "a"},
      {"--protocol", "-1", "a"},
      {"--duration", "0", "a"},
      {"--duration", "abc", "a"},
      {"--display-mode", "fit", "a"},
      {"--http-port", "65536", "a"},
      {"--http-port", "0", "a"},
      {"--motion-port", "0", "a"},
      {"--motion-port", "65536", "a"},
      {"--bogus", "a"},
      {"a", "b"},
      {"a", "--user"},
      {"--fisheye", "ptz", "a"},
      {"--fisheye-centre", "1,2,3", "a"},
      {"--fisheye-centre", "1,", "a"},
      {"--fisheye-diameter", "0", "a"},
      {"--fisheye-rotate-bias", "400", "a"},
      {"--sensor-mode", "2592", "a"},
      {"--sensor-mode", "0x1944", "a"},
      {"--rotation", "upside-down", "a"},
      {"--fisheye-view", "0,91,2", "a"},
      {"--fisheye-view", "0,0,10", "a"},
      {"--fisheye-view", "0,0", "a"},
  };
  for (const auto& arguments : bad) {
    const ParseResult result = parseViewerOptions(arguments);
    EXPECT_FALSE(result.error.empty()) << ::testing::PrintToString(arguments);
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace vexa::viewer
