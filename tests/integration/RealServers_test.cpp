// The sites against the simulated camera playing the parts of real servers and cameras:
// credentials on every road, sessions that only requests keep alive, connections that drop,
// UDP refused, LF-only answers, redirects, IPv6.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera/MjpegServer.h"
#include "camera/RtspServer.h"
#include "media/VideoDecoderSet.h"
#include "platform/Thread.h"
#include "session/IPCameraSite.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using camera::AuthScheme;
using test::eventually;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 25;
// UDP sites bind the fixed client ports of their slot: slots far from the viewer's own.
constexpr uint32_t kUdpSlot = 45;
const std::string kUser = "admin";
const std::string kPassword = "s3cret";

struct RealServer : ::testing::Test {
  // An RTSP and an HTTP server with the same part to play; false when they cannot listen.
  bool start(camera::RtspServerOptions rtsp = {}, AuthScheme scheme = AuthScheme::Basic,
             bool credentials = false) {
    camera::MjpegServerOptions mjpeg;
    rtsp.width = mjpeg.width = kWidth;
    rtsp.height = mjpeg.height = kHeight;
    rtsp.fps = mjpeg.fps = kFps;
    mjpeg.bindAddress = rtsp.bindAddress;
    rtsp.auth = mjpeg.auth = scheme;
    if (credentials) {
      rtsp.user = mjpeg.user = kUser;
      rtsp.password = mjpeg.password = kPassword;
    }
    rtspServer = std::make_unique<camera::RtspServer>(rtsp);
    mjpegServer = std::make_unique<camera::MjpegServer>(mjpeg);
    return rtspServer->start() && mjpegServer->start();
  }

  // Each site decodes with a decoder of its own, as each player has.
  std::unique_ptr<IPCameraSite> play(uint32_t model, const std::string& password = {},
                                     const std::string& path = "/h264",
                                     const std::string& host = "127.0.0.1") {
    StreamConfig config;
    config.model = model;
    config.host = host;
    config.path = path;
    config.rtspPort = rtspServer->port();
    config.httpPort = mjpegServer->port();
    if (!password.empty()) {
      config.userName = kUser;
      config.password = password;
    }
    auto site = std::make_unique<IPCameraSite>(config, kUdpSlot);
    decoders.push_back(VideoDecoderSet::openH264());
    site->setH264Decoder(decoders.back().get());
    EXPECT_TRUE(site->Play());
    return site;
  }

  // Pictures keep coming: the counter passes what it was by a few.
  static bool picturesFlow(const IPCameraSite& site) {
    const uint32_t before = site.GetFrameNumber();
    return eventually([&] { return site.GetFrameNumber() >= before + 3; });
  }
  static std::string failureOf(const IPCameraSite& site) {
    const auto failure = site.failure();
    return failure ? failure->failure.cause() : std::string();
  }
  // The requests of one connection, by method.
  size_t requests(uint64_t connection, const std::string& method) const {
    const auto log = rtspServer->requestLog();
    return size_t(std::count_if(log.begin(), log.end(), [&](const camera::LoggedRequest& r) {
      return r.connection == connection && r.method == method;
    }));
  }

  std::unique_ptr<camera::RtspServer> rtspServer;
  std::unique_ptr<camera::MjpegServer> mjpegServer;
  std::vector<std::unique_ptr<H264Decoder>> decoders;
};

// Models on every road: RTP interleaved (H.264, JPEG), over UDP (H.264, JPEG), HTTP.
const std::pair<uint32_t, const char*> kRoads[] = {
    {IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264, "/h264"},
    {IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG, "/jpeg"},
    {IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264, "/h264"},
    {IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG, "/jpeg"},
    {IPCAMERA_VIDEO_MODEL_HTTP_MJPEG, "/"},
};

// A wrong password is refused after one retry (on the RTSP connection: two DESCRIBEs), without
// a picture.
TEST_F(RealServer, BasicAndDigestCredentialsPlayOnEveryRoadAndAWrongPasswordIsRefused) {
  for (const AuthScheme scheme : {AuthScheme::Digest, AuthScheme::Basic}) {
    ASSERT_TRUE(start({}, scheme, true));
    for (const auto& [model, path] : {kRoads[0], kRoads[4]}) {
      auto site = play(model, "wrong", path);
      EXPECT_TRUE(eventually([&] { return failureOf(*site) == "authentication refused"; }));
      EXPECT_EQ(site->GetFrameNumber(), 0u);
    }
    EXPECT_EQ(requests(1, "DESCRIBE"), 2u);
    EXPECT_EQ(requests(1, "SETUP"), 0u);
    for (const auto& [model, path] : kRoads) {
      SCOPED_TRACE("model " + std::to_string(model));
      EXPECT_TRUE(picturesFlow(*play(model, kPassword, path)));
    }
  }
}

TEST_F(RealServer, KeepAlivesHoldSessionsThatOnlyRequestsKeepAlive) {
  ASSERT_TRUE(start({.sessionTimeoutSeconds = 6, .rtcpKeepsAlive = false}));
  auto interleaved = play(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264);
  auto udp = play(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264);
  ASSERT_TRUE(picturesFlow(*interleaved));
  ASSERT_TRUE(picturesFlow(*udp));
  platform::sleepMs(20000);
  EXPECT_TRUE(picturesFlow(*interleaved));
  EXPECT_TRUE(picturesFlow(*udp));
  // Two connections in all, none timed out and made again.
  const auto log = rtspServer->requestLog();
  for (const auto& request : log) EXPECT_LE(request.connection, 2u) << request.method;
  EXPECT_GE(requests(1, "GET_PARAMETER") + requests(2, "GET_PARAMETER"), 6u);
  EXPECT_FALSE(interleaved->failure());
  EXPECT_FALSE(udp->failure());
}

TEST_F(RealServer, DroppedConnectionsComeBackByThemselvesOnEveryRoad) {
  ASSERT_TRUE(start());
  for (const auto& [model, path] : {kRoads[0], kRoads[2], kRoads[4]}) {
    SCOPED_TRACE("model " + std::to_string(model));
    auto site = play(model, {}, path);
    ASSERT_TRUE(picturesFlow(*site));
    for (int drop = 0; drop < 3; ++drop) {
      rtspServer->dropAllConnections();
      mjpegServer->dropAllConnections();
      const auto dropped = std::chrono::steady_clock::now();
      EXPECT_TRUE(picturesFlow(*site)) << "after drop " << drop;
      std::printf("model %u: pictures again %lld ms after drop %d\n", model,
                  (long long)std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - dropped).count(), drop);
    }
    site->Stop();
  }
}

TEST_F(RealServer, AServerRefusingUdpIsPlayedOverItsConnection) {
  ASSERT_TRUE(start({.refuseUdp = true}));
  auto site = play(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264);
  EXPECT_TRUE(picturesFlow(*site));
  EXPECT_EQ(site->activeModel(), uint32_t(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264));
}

TEST_F(RealServer, LineFeedAnswersAndRedirectsPlay) {
  ASSERT_TRUE(start({.lfOnly = true}));
  // The site asks another camera, which sends it on to this one.
  camera::RtspServerOptions mover;
  mover.redirects = {{"old", "rtsp://127.0.0.1:" + std::to_string(rtspServer->port()) + "/h264"}};
  const std::unique_ptr<camera::RtspServer> target = std::move(rtspServer);
  rtspServer = std::make_unique<camera::RtspServer>(mover);
  ASSERT_TRUE(rtspServer->start());
  auto site = play(IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264, {}, "/old");
  EXPECT_TRUE(picturesFlow(*site)) << failureOf(*site);
  site->Stop();
}

TEST_F(RealServer, Ipv6LoopbackPlaysInterleavedAndOverUdp) {
  if (!start({.bindAddress = "::1"})) GTEST_SKIP() << "no IPv6 loopback here";
  for (const auto& [model, path] : {kRoads[0], kRoads[2], kRoads[4]}) {
    SCOPED_TRACE("model " + std::to_string(model));
    EXPECT_TRUE(picturesFlow(*play(model, {}, path, "::1")));
  }
}

}  // namespace
}  // namespace vexa
