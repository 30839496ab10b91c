#include "control/StreamAddress.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace vexa {
namespace {

TEST(StreamAddress, SplitsHostPortAndPathAndResolvesOnlyNames) {
  const struct {
    const char* address;
    uint32_t model;
    const char* resolvesTo;
    const char* host;
    uint16_t httpPort, rtspPort;
    const char* path;
    std::vector<std::string> asked;
  } cases[] = {
      {"http://192.168.0.20:8080/live", 2, "10.1.2.3", "192.168.0.20", 8080, 8080, "/live", {}},
      // No port: both keep theirs; no path: the model's default.
      {"192.168.0.20", 12, "10.1.2.3", "192.168.0.20", 8008, 554, "/h264", {}},
      {"camera.local/", 0, "10.1.2.3", "10.1.2.3", 8008, 554, "/jpeg", {"camera.local"}},
      // A name that does not resolve is kept for the handler.
      {"camera.local", 1, "", "camera.local", 8008, 554, "/mpeg4", {"camera.local"}},
      // A trailing dot is dropped; digits are never looked up.
      {"192.168.0.20.:81", 1, "10.1.2.3", "192.168.0.20", 81, 81, "/mpeg4", {}},
      // The port is read as leading digits.
      {"1.2.3.4:abc/x", 1, "", "1.2.3.4", 0, 0, "/x", {}},
      // A number no port can have counts as none, never as the port it would wrap onto.
      {"1.2.3.4:70000/x", 1, "", "1.2.3.4", 0, 0, "/x", {}},
      {"1.2.3.4:-5", 1, "", "1.2.3.4", 0, 0, "/mpeg4", {}},
      // IPv6 addresses, in brackets with a port or bare without one, are never looked up.
      {"rtsp://[::1]:8554/h264", 12, "10.1.2.3", "::1", 8554, 8554, "/h264", {}},
      {"fe80::a", 12, "10.1.2.3", "fe80::a", 8008, 554, "/h264", {}},
  };
  for (const auto& c : cases) {
    StreamConfig config;
    config.model = c.model;
    std::vector<std::string> asked;
    applyStreamAddress(c.address, config, [&](const std::string& name) {
      asked.push_back(name);
      return std::string(c.resolvesTo);
    });
    EXPECT_EQ(std::tuple(config.host, config.httpPort, config.rtspPort, config.path, asked),
              std::tuple(c.host, c.httpPort, c.rtspPort, c.path, c.asked))
        << c.address;
  }
}

TEST(StreamAddress, CredentialsInTheAddressAreTheCamerasAndLeaveTheHost) {
  StreamConfig config;
  config.userName = "kept";
  applyStreamAddress("10.0.0.2:8554/h264", config, nullptr);
  EXPECT_EQ(config.userName, "kept");
  applyStreamAddress("rtsp://admin:s%40cret:x@10.0.0.2:8554/h264", config, nullptr);
  EXPECT_EQ(std::tuple(config.userName, config.password, config.host, config.rtspPort),
            std::tuple("admin", "s@cret:x", "10.0.0.2", 8554));
}

TEST(StreamAddress, TheNextAddressDoesNotKeepTheEarlierPath) {
  StreamConfig config;
  applyStreamAddress("1.2.3.4/x", config, nullptr);
  applyStreamAddress("1.2.3.4", config, nullptr);
  EXPECT_EQ(config.path, "/mpeg4");
}

TEST(StreamAddress, DefaultPathsAndStreamNamesFollowTheModel) {
  const std::pair<uint32_t, const char*> paths[] = {{0, "/jpeg"},    {2, "/"},  {9, "/mpeg4"},
                                                    {15, "/h264_2"}, {16, "/"}, {19, "/h264_2"},
                                                    {20, "/"}};
  for (const auto& [model, path] : paths) EXPECT_EQ(defaultStreamPath(model), path) << model;
  EXPECT_EQ(streamNameFor(2, "/"), "jpeg");
  EXPECT_EQ(streamNameFor(12, "//h264"), "h264");
  EXPECT_EQ(streamNameFor(3, "/"), "");
}

}  // namespace
}  // namespace vexa
