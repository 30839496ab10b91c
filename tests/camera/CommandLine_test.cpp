#include "camera/CommandLine.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

TEST(CameraCommandLine, DefaultsServeLoopbackOnTheDefaultPort) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(parseCommandLine({}, settings, error));
  EXPECT_EQ(settings.mjpeg.port, CameraSettings::kDefaultHttpPort);
  EXPECT_EQ(settings.mjpeg.bindAddress, "127.0.0.1");
  EXPECT_EQ(settings.durationSeconds, 0);
  EXPECT_FALSE(settings.showHelp);
}

TEST(CameraCommandLine, ReadsEveryOptionInBothForms) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(parseCommandLine(
      {"--port", "0", "--width=320", "--height", "240", "--fps=25", "--quality", "90",
       "--user=admin", "--pass", "a=b", "--bind", "0.0.0.0", "--duration=1.5"},
      settings, error))
      << error;
  EXPECT_EQ(settings.mjpeg.port, 0);
  EXPECT_EQ(settings.mjpeg.width, 320);
  EXPECT_EQ(settings.mjpeg.height, 240);
  EXPECT_EQ(settings.mjpeg.fps, 25);
  EXPECT_EQ(settings.mjpeg.quality, 90);
  EXPECT_EQ(settings.mjpeg.user, "admin");
  EXPECT_EQ(settings.mjpeg.password, "a=b");
  EXPECT_EQ(settings.mjpeg.bindAddress, "0.0.0.0");
  EXPECT_DOUBLE_EQ(settings.durationSeconds, 1.5);
}

TEST(CameraCommandLine, HelpIsRecognised) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(parseCommandLine({"--help"}, settings, error));
  EXPECT_TRUE(settings.showHelp);
  EXPECT_NE(usageText().find("--duration"), std::string::npos);
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

}  // namespace
}  // namespace vexa::camera
