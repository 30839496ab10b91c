#include "camera/CommandLine.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

TEST(CameraCommandLine, DefaultsServeLoopbackUntilStoppedAndHelpNeedsNothingElse) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(parseCommandLine({}, settings, error));
  EXPECT_EQ(settings.mjpeg.bindAddress, "127.0.0.1");
  EXPECT_EQ(settings.durationSeconds, 0);
  EXPECT_FALSE(settings.showHelp);
  ASSERT_TRUE(parseCommandLine({"--help"}, settings, error));
  EXPECT_TRUE(settings.showHelp);
  EXPECT_NE(usageText().find("--duration"), std::string::npos);
}

TEST(CameraCommandLine, ReadsEveryOptionInBothForms) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(parseCommandLine(
      {"--port", "0", "--width=320", "--height", "240", "--fps=25", "--quality", "90",
       "--user=admin", "--pass", "a=b", "--bind", "0.0.0.0", "--duration=1.5"},
      settings, error))
      << error;
  const MjpegServerOptions& o = settings.mjpeg;
  EXPECT_EQ(std::tuple(o.port, o.width, o.height, o.fps, o.quality),
            std::tuple(0, 320, 240, 25, 90));
  EXPECT_EQ(std::tuple(o.user, o.password, o.bindAddress), std::tuple("admin", "a=b", "0.0.0.0"));
  EXPECT_DOUBLE_EQ(settings.durationSeconds, 1.5);
}

TEST(CameraCommandLine, RejectsBadArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},         {"port"},          {"--port"},          {"--port", "65536"},
      {"--port", "-1"},    {"--port", "80x"}, {"--width", "8"},    {"--height", "5000"},
      {"--fps", "0"},      {"--fps", "121"},  {"--quality", "0"},  {"--quality=101"},
      {"--duration", "0"}, {"--duration=-3"}, {"--duration", "x"}, {"--bind="},
      {"--help=yes"},
  };
  for (const auto& arguments : bad) {
    CameraSettings settings;
    std::string error;
    EXPECT_FALSE(parseCommandLine(arguments, settings, error)) << arguments[0];
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(CameraCommandLine, ReadsRtspOptionsAndSharesThePictureOptions) {
  CameraSettings settings;
  std::string error;
  EXPECT_EQ(settings.rtsp.port, CameraSettings::kDefaultRtspPort);
  EXPECT_EQ(settings.rtsp.audio, AudioCodec::Pcmu);
  EXPECT_FALSE(settings.rtsp.stapA);
  ASSERT_TRUE(parseCommandLine({"--rtsp-port", "0", "--audio=g726-24", "--stap-a", "--width", "320",
                                "--fps=25", "--bind", "0.0.0.0"},
                               settings, error))
      << error;
  const RtspServerOptions& o = settings.rtsp;
  EXPECT_EQ(std::tuple(o.port, o.audio, o.stapA), std::tuple(0, AudioCodec::G726_24, true));
  EXPECT_EQ(std::tuple(o.width, o.fps, o.bindAddress), std::tuple(320, 25, "0.0.0.0"));
  for (const char* codec : {"pcmu", "pcma", "g726-16", "g726-32", "g726-40", "none"}) {
    EXPECT_TRUE(parseCommandLine({"--audio", codec}, settings, error)) << codec;
  }
  EXPECT_EQ(settings.rtsp.audio, AudioCodec::None);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--audio", "g726-48"}, {"--audio", "PCMU"}, {"--stap-a=yes"}, {"--rtsp-port", "x"}}) {
    EXPECT_FALSE(parseCommandLine(bad, settings, error)) << bad[0];
  }
}

}  // namespace
}  // namespace vexa::camera
