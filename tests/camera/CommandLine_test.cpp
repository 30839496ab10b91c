#include "camera/CommandLine.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

// Arguments as a shell splits a line without quotes.
std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> split;
  for (size_t at = 0, end; at < line.size(); at = end + 1) {
    end = std::min(line.find(' ', at), line.size());
    split.emplace_back(line.substr(at, end - at));
  }
  return split;
}

TEST(CameraCommandLine, ReadsOptionsInBothFormsIntoBothServers) {
  CameraSettings settings;
  std::string error;
  ASSERT_TRUE(parseCommandLine(
      words("--port 0 --width=320 --height 240 --fps=25 --quality 90 --user=admin --pass a=b "
            "--auth digest --nonce-lifetime=5 --listen ::1 --duration=1.5 --rtsp-port 0 "
            "--audio=g726-24 --stap-a --session-timeout 0 --rtcp-not-alive --refuse-udp "
            "--lf-only --log --redirect=/h264/=rtsp://h/x?a=b --redirect jpeg=rtsp://h/y "
            "--drop-after 2.5 --dump-video=out.h264 --h264-extras sei,aud --sprop-only "
            "--cgi-answer length-lower --motion-port 0 --motion-threshold=70 --motion-inactive "
            "--mpeg4-inband-config --multicast 239.1.2.3 --multicast-port 20000 "
            "--multicast-connection session --multicast-setup --talk-port 5002 "
            "--talk-wav=talk.wav"),
      settings, error))
      << error;
  const MjpegServerOptions& m = settings.mjpeg;
  const RtspServerOptions& r = settings.rtsp;
  EXPECT_EQ(std::tuple(m.port, m.width, m.height, m.fps, m.quality, m.user, m.password),
            std::tuple(0, 320, 240, 25, 90, "admin", "a=b"));
  EXPECT_EQ(std::tuple(r.port, r.width, r.height, r.fps, r.user, r.password, r.audio, r.stapA),
            std::tuple(0, 320, 240, 25, "admin", "a=b", AudioCodec::G726_24, true));
  for (const auto& [address, auth, lifetime, dropAfter, log, redirects] :
       {std::tie(m.bindAddress, m.auth, m.nonceLifetimeSeconds, m.dropAfterMs, m.logRequests,
                 m.redirects),
        std::tie(r.bindAddress, r.auth, r.nonceLifetimeSeconds, r.dropAfterMs, r.logRequests,
                 r.redirects)}) {
    EXPECT_EQ(std::tuple(address, auth, lifetime, dropAfter, log),
              std::tuple("::1", AuthScheme::Digest, 5, 2500, true));
    ASSERT_EQ(redirects.size(), 2u);
    EXPECT_EQ(std::tuple(redirects[0].path, redirects[0].location, redirects[1].path),
              std::tuple("h264", "rtsp://h/x?a=b", "jpeg"));
  }
  EXPECT_EQ(std::tuple(r.sessionTimeoutSeconds, r.rtcpKeepsAlive, r.refuseUdp, r.lfOnly,
                       r.mpeg4ConfigInBand),
            std::tuple(0, false, true, true, true));
  EXPECT_EQ(std::tuple(r.multicastGroup, r.multicastPort, r.multicastSessionConnection,
                       r.multicastSetup),
            std::tuple("239.1.2.3", 20000, true, true));
  const MotionServerOptions& o = settings.motion;
  EXPECT_EQ(std::tuple(o.port, o.fps, o.threshold, o.inactive, o.logValues, o.bindAddress,
                       settings.motionPortChosen, m.cgiFraming),
            std::tuple(0, 25, 70, true, true, "::1", true, CgiFraming::LengthLower));
  EXPECT_DOUBLE_EQ(settings.durationSeconds, 1.5);
  EXPECT_EQ(settings.dumpVideoPath, "out.h264");
  EXPECT_EQ(std::tuple(r.talkPort, r.talkWavPath), std::tuple(5002, "talk.wav"));
  EXPECT_EQ(r.h264Layout,
            (H264UnitLayout{.delimiter = true, .sei = true, .parameterSetsInBand = false}));
}

TEST(CameraCommandLine, ReadsFisheyeOptionsIntoBothServers) {
  using enum FisheyeLensKind;
  const struct {
    const char* line;
    std::optional<FisheyeSettings> expected;
  } rows[] = {
      {"--width 320", std::nullopt},
      {"--fisheye", FisheyeSettings{Stereographic, std::nullopt, 640, 480}},
      {"--fisheye-lens=equidistant --width 800",
       FisheyeSettings{Equidistant, std::nullopt, 800, 480}},
      {"--fisheye-circle 400,300,500 --width 800 --height 600 --fisheye-lens stereographic",
       FisheyeSettings{Stereographic, FisheyeCircle{400, 300, 500}, 800, 600}},
  };
  for (const auto& row : rows) {
    CameraSettings settings;
    std::string error;
    ASSERT_TRUE(parseCommandLine(words(row.line), settings, error)) << row.line << ": " << error;
    for (const auto* fisheye :
         {&settings.fisheye, &settings.mjpeg.fisheye, &settings.rtsp.fisheye}) {
      ASSERT_EQ(fisheye->has_value(), row.expected.has_value()) << row.line;
      if (!row.expected) continue;
      EXPECT_EQ(std::tuple((*fisheye)->lens, (*fisheye)->circle, (*fisheye)->referenceWidth,
                           (*fisheye)->referenceHeight),
                std::tuple(row.expected->lens, row.expected->circle, row.expected->referenceWidth,
                           row.expected->referenceHeight))
          << row.line;
    }
  }
}

TEST(CameraCommandLine, RejectsBadArgumentsWithOneLine) {
  // clang-format off
  const char* const bad[] = {
      "--bogus", "port", "--port", "--port 65536", "--port 80x", "--width 8", "--height 5000",
      "--fps 0", "--quality=101", "--duration=-3", "--bind=", "--help=yes", "--audio PCMU",
      "--stap-a=yes", "--rtsp-port x", "--listen localhost6", "--auth md5 --user u",
      "--auth=basic", "--nonce-lifetime 0", "--redirect /h264", "--drop-after 0",
      "--session-timeout=-1", "--h264-extras aud,foo", "--h264-extras=", "--h264-extras sei,",
      "--h264-extras AUD", "--dump-video=", "--sprop-only=yes", "--cgi-answer Length",
      "--motion-port -1", "--motion-threshold 101", "--motion-inactive=1", "--fisheye=1",
      "--fisheye-lens fisheye", "--fisheye-circle 1,2", "--fisheye-circle 1,2,0",
      "--fisheye-circle a,2,3", "--fisheye-circle 1,2,3,", "--fisheye-circle 700,10,100",
      "--height 240 --fisheye-circle 10,241,100", "--multicast 192.168.1.1",
      "--multicast 239.1.2", "--multicast-port 65530", "--multicast-connection both",
      "--talk-port 65536", "--talk-wav="};
  // clang-format on
  for (const char* line : bad) {
    const std::vector<std::string> arguments = words(line);
    CameraSettings settings;
    std::string error;
    EXPECT_FALSE(parseCommandLine(arguments, settings, error)) << line;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace vexa::camera
