#include "protocol/rtsp/IPCameraMulticast.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "common/VideoModel.h"
#include "protocol/rtsp/ScriptedCamera.h"

namespace vexa {
namespace {

const std::string kVideo =
    "v=0\r\ns=x\r\nc=IN IP4 239.255.12.1/0\r\nm=video 5000 RTP/AVP 99\r\nb=AS:500\r\n"
    "a=fmtp:99 packetization-mode=1;sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\n"
    "a=control:trackID=1\r\n";
const std::string kAudio = "v=0\r\ns=x\r\nm=audio 5004 RTP/AVP 0\r\nc=IN IP4 239.255.12.1/0\r\n";

// The handler on a scripted camera: what it asks, and what it hands its owner to receive.
struct MulticastHandlerTest : ::testing::Test, test::ScriptedCamera {
  void start() {
    config.model = IPCAMERA_VIDEO_MODEL_MULTICAST_H264;
    config.host = "127.0.0.1";
    config.path = "/h264";
    config.rtspPort = server.port();
    handler.setConfig(&config);
    ASSERT_TRUE(handler.Play());
    ASSERT_TRUE(server.accept());
  }
  MulticastJoin joined() {
    std::lock_guard lock(mutex);
    return join;
  }

  StreamConfig config;
  std::mutex mutex;
  MulticastJoin join;
  std::atomic<int> starts{0};
  std::atomic<uint16_t> videoPort{0};
  IPCamera_Multicast_Handler handler{[this](const StreamConfig& filled, const MulticastJoin& j) {
    std::lock_guard lock(mutex);
    join = j;
    videoPort = filled.videoRtpPort;
    ++starts;
  }};
};

TEST_F(MulticastHandlerTest, AsksForBothDescriptionsThenHandsOverTheGroupAndEnds) {
  start();
  // The requests' bytes are the request builders' test's; here their order and paths.
  EXPECT_NE(request().find("/h264 RTSP/1.0\r\nCSeq: 0\r\n"), std::string::npos);
  send(test::describeAnswer(kVideo));
  EXPECT_NE(request().find("/audio RTSP/1.0\r\nCSeq: 1\r\n"), std::string::npos);
  send(test::describeAnswer(kAudio, 1));
  ASSERT_TRUE(test::eventually([&] { return handler.finished(); }));
  EXPECT_EQ(starts.load(), 1);
  EXPECT_EQ(handler.step(), rtsp::MulticastDescribeStep::kDone);
  // On loopback the connection's own address says nothing; no interface is on the camera's
  // subnet but lo, whose 127/8 holds it.
  EXPECT_EQ(joined().group, "239.255.12.1");
  EXPECT_EQ(joined().interfaceAddress, "127.0.0.1");
  EXPECT_EQ(videoPort.load(), 5000);
  EXPECT_EQ(config.audioRtpPort, 5004);
  EXPECT_GT(config.spsLength, 0u);
  EXPECT_FALSE(handler.status().failure());
}

TEST_F(MulticastHandlerTest, AMissingAudioStillStartsTheVideoARefusedVideoNothing) {
  start();
  request();
  send(test::describeAnswer(kVideo));
  request();
  send("RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n");
  ASSERT_TRUE(test::eventually([&] { return starts.load() == 1; }));
  EXPECT_EQ(config.audioRtpPort, 0);

  handler.Stop();
  ASSERT_TRUE(handler.Play());
  ASSERT_TRUE(server.accept());
  request();
  send("RTSP/1.0 404 Not Found\r\nCSeq: 0\r\n\r\n");
  handler.Stop();  // the refused camera is waited on, silently, until here
  EXPECT_EQ(starts.load(), 1);
  EXPECT_EQ(handler.step(), rtsp::MulticastDescribeStep::kVideo);
}

}  // namespace
}  // namespace vexa
