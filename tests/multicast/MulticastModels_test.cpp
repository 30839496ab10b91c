// The multicast models against the simulated camera sending to a group, inside a network
// namespace that holds only loopback (tests/multicast/in_namespace.sh): the site asks for the
// descriptions, joins the group they name (or, from a camera that names it only at SETUP, sets
// the stream up and plays it) and shows the pictures and plays the sound sent to it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "camera/RtspServer.h"
#include "common/VideoModel.h"
#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "session/IPCameraSite.h"
#include "support/Loopback.h"
#include "support/SitePictures.h"

namespace vexa {
namespace {

using test::eventually;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 25;
constexpr uint32_t kCandidateFrames = 40 * kFps;
constexpr uint32_t kSlot = 43;

// The methods the camera was asked, in order, space separated.
std::string methodsAsked(const camera::RtspServer& camera) {
  std::string methods;
  for (const auto& request : camera.requestLog()) methods += request.method + " ";
  return methods;
}

TEST(MulticastModels, EachPlaysTheGroupItsDescriptionsName) {
  if (std::getenv("VEXA_IN_NETNS") == nullptr) {
    GTEST_SKIP() << "runs only inside a network namespace (tests/multicast/in_namespace.sh)";
  }
  const auto h264 = VideoDecoderSet::openH264();
  ASSERT_NE(h264, nullptr);
  const struct {
    uint32_t model;
    const char* path;
    bool sessionConnection;
    bool configInBand;
    bool commonDescription;  // as other senders: no "/audio", lower-case config ending in ';'
    bool setup;              // the group is named at SETUP only
  } cases[] = {
      {IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG, "/jpeg", true, false, false, false},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_H264, "/h264", false, false, false, false},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2, "/h264_2", true, false, false, false},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4, "/mpeg4", false, true, false, false},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4, "/mpeg4", false, false, true, false},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4, "/mpeg4", false, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.setup ? " set up" : "") +
                 (c.commonDescription ? " common" : ""));
    auto [options, unused] = test::serverOptions({.width = kWidth, .height = kHeight, .fps = kFps});
    options.multicastGroup = "239.255.12.1";
    options.multicastSessionConnection = c.sessionConnection;
    options.mpeg4ConfigInBand = c.configInBand;
    options.multicastCommonDescription = c.commonDescription;
    options.multicastSetup = c.setup;
    camera::RtspServer camera(options);
    ASSERT_TRUE(camera.start()) << camera.lastError();
    StreamConfig config;
    config.model = c.model;
    config.host = "127.0.0.1";
    config.path = c.path;
    config.rtspPort = camera.port();
    IPCameraSite site(config, kSlot);
    site.setH264Decoder(h264.get());
    ASSERT_TRUE(site.Play());
    ASSERT_TRUE(eventually([&] { return site.GetFrameNumber() >= 3; }));
    const int width = c.model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2 ? kWidth / 2 : kWidth;
    const int height = c.model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2 ? kHeight / 2 : kHeight;
    const std::vector<uint8_t> picture = test::takePicture(site, width, height);
    ASSERT_FALSE(picture.empty());
    EXPECT_GE(test::psnrToClosestFrame(picture, width, height, kCandidateFrames), 30.0);
    if (!c.commonDescription) {
      EXPECT_EQ(site.audioCodec(), kAudioCodecPcmu);
      EXPECT_TRUE(eventually([&] { return site.GetAudioBitrate() > 0; }));
    }
    if (!c.setup) {
      // The camera was only asked: no session of it stays open.
      EXPECT_TRUE(eventually([&] { return camera.activeClients() == 0; }));
      site.Stop();
      continue;
    }
    EXPECT_NE(methodsAsked(camera).find("DESCRIBE SETUP SETUP PLAY "), std::string::npos)
        << methodsAsked(camera);
    EXPECT_EQ(camera.activeClients(), 1u);
    site.Stop();
    EXPECT_TRUE(eventually([&] { return methodsAsked(camera).ends_with("TEARDOWN "); }))
        << methodsAsked(camera);
  }
}

// The asking connection ended long ago, so only the group's silence tells that the camera went:
// the site asks again, and plays the group the camera names once it is back.
TEST(MulticastModels, ACameraBackAfterSilenceIsAskedAgain) {
  if (std::getenv("VEXA_IN_NETNS") == nullptr) {
    GTEST_SKIP() << "runs only inside a network namespace (tests/multicast/in_namespace.sh)";
  }
  auto [options, unused] = test::serverOptions({.width = kWidth, .height = kHeight, .fps = kFps});
  options.multicastGroup = "239.255.12.2";
  auto camera = std::make_unique<camera::RtspServer>(options);
  ASSERT_TRUE(camera->start()) << camera->lastError();
  StreamConfig config;
  config.model = IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4;
  config.host = "127.0.0.1";
  config.path = "/mpeg4";
  config.rtspPort = camera->port();
  IPCameraSite site(config, kSlot);
  ASSERT_TRUE(site.Play());
  ASSERT_TRUE(eventually([&] { return site.GetFrameNumber() >= 3; }));
  camera.reset();
  options.port = config.rtspPort;
  options.multicastGroup = "239.255.12.3";
  camera = std::make_unique<camera::RtspServer>(options);
  ASSERT_TRUE(camera->start()) << camera->lastError();
  ASSERT_TRUE(eventually([&] { return methodsAsked(*camera).starts_with("DESCRIBE "); }));
  const uint32_t frames = site.GetFrameNumber();
  EXPECT_TRUE(eventually([&] { return site.GetFrameNumber() >= frames + 3; }));
  const std::vector<uint8_t> picture = test::takePicture(site, kWidth, kHeight);
  ASSERT_FALSE(picture.empty());
  EXPECT_GE(test::psnrToClosestFrame(picture, kWidth, kHeight, kCandidateFrames), 30.0);
  site.Stop();
}

}  // namespace
}  // namespace vexa
