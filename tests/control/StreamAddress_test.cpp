#include "control/StreamAddress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexa {
namespace {

// Resolves every name to one address and remembers what it was asked.
struct FakeResolver {
  std::vector<std::string> asked;
  std::string answer = "10.1.2.3";
  HostResolver function() {
    return [this](const std::string& name) {
      asked.push_back(name);
      return answer;
    };
  }
};

TEST(StreamAddress, SchemeHostPortAndPathAreSplit) {
  StreamConfig config;
  config.model = IPCAMERA_VIDEO_MODEL_HTTP_MJPEG;
  FakeResolver resolver;
  applyStreamAddress("http://192.168.0.20:8080/live", config, resolver.function());
  EXPECT_EQ(config.host, "192.168.0.20");
  EXPECT_EQ(config.httpPort, 8080);
  EXPECT_EQ(config.rtspPort, 8080);
  EXPECT_EQ(config.path, "/live");
  EXPECT_TRUE(resolver.asked.empty());
}

TEST(StreamAddress, ABareAddressKeepsThePortsAndTakesTheDefaultPath) {
  StreamConfig config;
  config.model = IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264;
  applyStreamAddress("192.168.0.20", config, nullptr);
  EXPECT_EQ(config.path, "/h264");
  EXPECT_EQ(config.httpPort, 8008);
  EXPECT_EQ(config.rtspPort, 554);
  config.httpPort = config.rtspPort = 8554;
  applyStreamAddress("192.168.0.21", config, nullptr);
  EXPECT_EQ(config.rtspPort, 8554);
}

TEST(StreamAddress, ANameIsResolvedOnceAndASingleSlashTakesTheDefaultPath) {
  StreamConfig config;
  config.model = IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG;
  FakeResolver resolver;
  applyStreamAddress("camera.local/", config, resolver.function());
  EXPECT_EQ(resolver.asked, std::vector<std::string>{"camera.local"});
  EXPECT_EQ(config.host, "10.1.2.3");
  EXPECT_EQ(config.path, "/jpeg");
}

TEST(StreamAddress, ANameThatDoesNotResolveIsKeptForTheHandler) {
  StreamConfig config;
  FakeResolver resolver;
  resolver.answer.clear();
  applyStreamAddress("camera.local", config, resolver.function());
  EXPECT_EQ(config.host, "camera.local");
}

TEST(StreamAddress, ATrailingDotIsDroppedAndDigitsAreNeverLookedUp) {
  StreamConfig config;
  FakeResolver resolver;
  applyStreamAddress("192.168.0.20.:81", config, resolver.function());
  EXPECT_EQ(config.host, "192.168.0.20");
  EXPECT_EQ(config.httpPort, 81);
  EXPECT_TRUE(resolver.asked.empty());
}

TEST(StreamAddress, PortTextIsReadAsLeadingDigits) {
  StreamConfig config;
  applyStreamAddress("1.2.3.4:abc/x", config, nullptr);
  EXPECT_EQ(config.httpPort, 0);
  applyStreamAddress("1.2.3.4:70000", config, nullptr);
  EXPECT_EQ(config.httpPort, uint16_t(70000));
  EXPECT_EQ(config.path, "/mpeg4") << "the path of the earlier address is not kept";
}

TEST(StreamAddress, DefaultPathsAndStreamNamesFollowTheModel) {
  EXPECT_EQ(defaultStreamPath(0), "/jpeg");
  EXPECT_EQ(defaultStreamPath(2), "/");
  EXPECT_EQ(defaultStreamPath(9), "/mpeg4");
  EXPECT_EQ(defaultStreamPath(15), "/h264_2");
  EXPECT_EQ(defaultStreamPath(16), "/");
  EXPECT_EQ(defaultStreamPath(19), "/h264_2");
  EXPECT_EQ(defaultStreamPath(20), "/");
  EXPECT_EQ(streamNameFor(2, "/"), "jpeg");
  EXPECT_EQ(streamNameFor(12, "//h264"), "h264");
  EXPECT_EQ(streamNameFor(3, "/"), "");
}

}  // namespace
}  // namespace vexa
