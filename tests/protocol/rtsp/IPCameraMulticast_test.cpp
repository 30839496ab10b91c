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
  std::atomic<uint16_t> audioPort{0};
  platform::ManualClock clock;
  IPCamera_Multicast_Handler handler{[this](const StreamConfig& filled, const MulticastJoin& j) {
    std::lock_guard lock(mutex);
    join = j;
    videoPort = filled.videoRtpPort;
    audioPort = filled.audioRtpPort;
    ++starts;
  }, clock};
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

// What standard servers describe: the group and ports are theirs to choose at SETUP.
const std::string kUnplaced =
    "v=0\r\ns=x\r\nc=IN IP4 0.0.0.0\r\na=control:*\r\nm=video 0 RTP/AVP 96\r\n"
    "a=rtpmap:96 H264/90000\r\na=control:trackID=1\r\n"
    "m=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n";

TEST_F(MulticastHandlerTest, AGroupLeftToTheServerIsSetUpPlayedKeptAliveAndTornDown) {
  const std::string agent = test::kUserAgentLine;
  const struct {
    const char* contentBase;  // the DESCRIBE answer's header, empty: none
    const char* session;      // the SETUP answers' Session value
    uint32_t keepAliveMs;     // half the session's time-out, 60 s when it names none
  } cases[] = {
      {"Content-Base: rtsp://cam/h264/\r\n", "77AB;timeout=40", 20000},
      {"", "77AB", 30000},
      {"", "77AB;timeout=3", 1500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.session);
    start();
    const std::string base = *c.contentBase ? "rtsp://cam/h264/" : url();
    const std::string track = *c.contentBase ? base : base + "/";
    request();
    send(test::describeAnswer(kUnplaced, 0, c.contentBase));
    request();
    send("RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n");
    EXPECT_EQ(request(), "SETUP " + track + "trackID=1 RTSP/1.0\r\nCSeq: 2\r\n"
                         "Transport: RTP/AVP;multicast\r\n" + agent + "\r\n");
    send(test::answer(2, "Session: " + std::string(c.session) +
                             "\r\nTransport: RTP/AVP;multicast;destination=239.1.2.3;"
                             "port=5000-5001;ttl=0\r\n"));
    EXPECT_EQ(request(), "SETUP " + track + "trackID=2 RTSP/1.0\r\nCSeq: 3\r\nSession: 77AB\r\n"
                         "Transport: RTP/AVP;multicast\r\n" + agent + "\r\n");
    send(test::answer(3, "Session: 77AB\r\nTransport: RTP/AVP;multicast;destination=239.1.2.4;"
                         "port=5002-5003;ttl=0\r\n"));
    EXPECT_EQ(request(), "PLAY " + base + " RTSP/1.0\r\nCSeq: 4\r\nSession: 77AB\r\n"
                         "Range: npt=0.000-\r\n" + agent + "\r\n");
    // The receivers have joined before the first packet can come.
    EXPECT_EQ(starts.load(), 1);
    EXPECT_EQ(joined().group, "239.1.2.3");
    EXPECT_EQ(joined().audioGroup, "239.1.2.4");
    EXPECT_EQ(videoPort.load(), 5000);
    EXPECT_EQ(audioPort.load(), 5002);
    send(test::answer(4, "Session: 77AB\r\n"));
    ASSERT_TRUE(test::eventually([&] { return handler.status().playing(); }));
    clock.advance(c.keepAliveMs);
    EXPECT_EQ(request(), "GET_PARAMETER " + base + " RTSP/1.0\r\nCSeq: 5\r\nSession: 77AB\r\n" +
                             agent + "\r\n");
    send(test::answer(5, ""));
    handler.Stop();
    EXPECT_EQ(request(), "TEARDOWN " + base + " RTSP/1.0\r\nCSeq: 6\r\nSession: 77AB\r\n" +
                             agent + "\r\n");
    EXPECT_FALSE(handler.status().failure());
    starts = 0;
  }
}

// Basic goes up front; a server that wants Digest is answered at each request it challenges.
TEST_F(MulticastHandlerTest, DigestChallengesAreAnsweredFromDescribeToSetup) {
  config.userName = "admin";
  config.password = "pw";
  start();
  const std::string challenge =
      "RTSP/1.0 401 Unauthorized\r\nCSeq: %\r\nWWW-Authenticate: Digest realm=\"r\", "
      "nonce=\"n1\"\r\nContent-Length: 4\r\n\r\nnope";
  const auto challengeWith = [&](char cseq) {
    std::string text = challenge;
    text[text.find('%')] = cseq;
    return text;
  };
  EXPECT_NE(request().find("Authorization: Basic YWRtaW46cHc=\r\n"), std::string::npos);
  send(challengeWith('0'));
  const std::string digest = "Authorization: Digest username=\"admin\", realm=\"r\", nonce=\"n1\"";
  const std::string again = request();
  EXPECT_EQ(again.rfind("DESCRIBE " + url() + " RTSP/1.0\r\n" + digest, 0), 0u) << again;
  EXPECT_NE(again.find("CSeq: 0\r\n"), std::string::npos);
  send(test::describeAnswer(kUnplaced));
  EXPECT_NE(request().find(digest), std::string::npos) << "the audio DESCRIBE";
  send("RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n");
  EXPECT_EQ(request().find("Authorization"), std::string::npos) << "SETUP waits to be asked";
  send(challengeWith('2'));
  const std::string setup = request();
  EXPECT_EQ(setup.rfind("SETUP rtsp://cam/h264/trackID=1 RTSP/1.0\r\n" + digest, 0), 0u) << setup;
  EXPECT_NE(setup.find("CSeq: 3\r\n"), std::string::npos);
  handler.Stop();
  EXPECT_FALSE(handler.status().failure());
}

TEST_F(MulticastHandlerTest, OnlyADescriptionWithoutAGroupOrPortsIsSetUp) {
  const struct {
    const char* connection;
    const char* port;
    bool setUp;
  } cases[] = {
      {"c=IN IP4 239.255.12.1/0\r\n", "5000", false},
      {"", "5000", false},  // no connection line: the ports are received unjoined
      {"c=IN IP4 0.0.0.0\r\n", "5000", true},
      {"c=IN IP4 239.255.12.1/0\r\n", "0", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.connection) + c.port);
    start();
    request();
    send(test::describeAnswer("v=0\r\n" + std::string(c.connection) + "m=video " + c.port +
                              " RTP/AVP 99\r\na=control:trackID=1\r\n"));
    request();
    send("RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n");
    if (c.setUp) {
      EXPECT_NE(request().find("Transport: RTP/AVP;multicast\r\n"), std::string::npos);
      // A SETUP answer without a group is a refusal, not a stream of unknown ports.
      send(test::answer(2, "Session: 1\r\nTransport: RTP/AVP;unicast;client_port=1-2\r\n"));
    }
    ASSERT_TRUE(test::eventually([&] { return handler.finished(); }));
    EXPECT_EQ(starts.load(), c.setUp ? 0 : 1);
    EXPECT_EQ(bool(handler.status().failure()), c.setUp);
    handler.Stop();
    starts = 0;
  }
}

}  // namespace
}  // namespace vexa
