#include "camera/CommandLine.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

TEST(CameraCommandLine, ReadsOptionsInBothFormsIntoBothServers) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(
      parseCommandLine({"--port", "0", "--width=320", "--height", "240", "--fps=25", "--quality",
                        "90", "--user=admin", "--pass", "a=b", "--bind", "0.0.0.0",
                        "--duration=1.5", "--rtsp-port", "0", "--audio=g726-24", "--stap-a"},
                       settings, error))
      << error;
  const MjpegServerOptions& m = settings.mjpeg;
  EXPECT_EQ(std::tuple(m.port, m.width, m.height, m.fps, m.quality),
            std::tuple(0, 320, 240, 25, 90));
  EXPECT_EQ(std::tuple(m.user, m.password, m.bindAddress), std::tuple("admin", "a=b", "0.0.0.0"));
  EXPECT_DOUBLE_EQ(settings.durationSeconds, 1.5);
  const RtspServerOptions& r = settings.rtsp;
  EXPECT_EQ(std::tuple(r.port, r.audio, r.stapA), std::tuple(0, AudioCodec::G726_24, true));
  EXPECT_EQ(std::tuple(r.width, r.height, r.fps, r.bindAddress),
            std::tuple(320, 240, 25, "0.0.0.0"));
}

TEST(CameraCommandLine, RejectsBadArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},         {"port"},          {"--port"},           {"--port", "65536"},
      {"--port", "80x"},   {"--width", "8"},  {"--height", "5000"}, {"--fps", "0"},
      {"--quality=101"},   {"--duration=-3"}, {"--bind="},          {"--help=yes"},
      {"--audio", "PCMU"}, {"--stap-a=yes"},  {"--rtsp-port", "x"},
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
