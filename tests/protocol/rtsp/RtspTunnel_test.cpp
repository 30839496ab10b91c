// The dialogue through an HTTP tunnel against a scripted camera on loopback: the GET and POST
// bytes, requests Base64-encoded one by one on the POST, answers and frames on the GET, and
// receiver reports on the POST. The dialogue itself is that of InterleavedRtspSession_test.cpp.
#include "protocol/rtsp/RtspTunnel.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "common/Base64.h"
#include "protocol/rtsp/InterleavedRtspSession.h"
#include "protocol/rtsp/ScriptedCamera.h"

namespace vexa {
namespace {

using test::eventually;

const std::string kVideoOnly =
    "v=0\r\ns=x\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:trackID=1\r\n";
const std::string kOpened = "HTTP/1.0 200 OK\r\nContent-Type: application/x-rtsp-tunnelled\r\n\r\n";
const std::string kUserAgentEnd = test::kUserAgentLine + "\r\n";

class NullVideoPath final : public InterleavedVideoPath {
 public:
  void beginSession() override {}
  void configure(const StreamConfig&) override {}
  void onPacket(std::span<const uint8_t>) override {}
  ReceptionFigures figures() const override { return {}; }
  int32_t lostPackets() const override { return 0; }
};

std::string interleaved(uint8_t channel, const std::string& body) {
  return std::string{'$', char(channel), char(body.size() >> 8), char(body.size() & 0xFF)} + body;
}

struct TunnelCamera : test::ScriptedCamera {
  void start(const std::string& user = {}, const std::string& password = {}) {
    config.host = "127.0.0.1";
    config.path = "/h264";
    config.rtspPort = server.port();
    config.userName = user;
    config.password = password;
    session = std::make_unique<InterleavedRtspSession>(kH264TunnelPolicy, video, clock);
    session->setConfig(&config);
    ASSERT_TRUE(session->Play());
    ASSERT_TRUE(server.accept());      // the GET connects first
    ASSERT_TRUE(server.accept(post));  // the POST beside it
  }
  // The POST's bytes after its header: one Base64 text per request, as the camera gets them.
  bool postCarries(const std::string& header, const std::vector<std::string>& requests) {
    std::string expected = header;
    for (const std::string& request : requests) expected += base64::encode(request);
    post.receiveUntil([&](const std::string& got) { return got.size() >= expected.size(); });
    EXPECT_EQ(post.received(), expected);
    return post.received() == expected;
  }
  std::string describe() const {
    return "DESCRIBE " + url() + " RTSP/1.0\r\nCSeq: 0\r\nAccept: application/sdp\r\n" + kUserAgentEnd;
  }

  StreamConfig config;
  platform::ManualClock clock;
  NullVideoPath video;
  test::LoopbackConnection post;
  std::unique_ptr<InterleavedRtspSession> session;
};

TEST(RtspTunnel, OpeningIsReadFromAnyHttpVersionAndWaitsForTheWholeHeader) {
  const std::string rest = "RTSP/1.0 200 OK\r\n";
  const struct {
    std::string header;
    rtsp::TunnelOpening::Kind kind;
  } cases[] = {
      {kOpened, rtsp::TunnelOpening::Kind::kOpen},
      {"HTTP/1.1 200 OK\r\nServer: proxy\r\n\r\n", rtsp::TunnelOpening::Kind::kOpen},
      {"HTTP/1.0 401 Unauthorized\r\n\r\n", rtsp::TunnelOpening::Kind::kRefused},
      {"HTTP/1.0 2000 OK\r\n\r\n", rtsp::TunnelOpening::Kind::kRefused},
      {"RTSP/1.0 200 OK\r\n\r\n", rtsp::TunnelOpening::Kind::kRefused},
  };
  for (const auto& c : cases) {
    const std::string whole = c.header + rest;
    for (size_t split = 0; split <= whole.size(); ++split) {
      const rtsp::TunnelOpening opening = rtsp::readTunnelOpening(whole.substr(0, split));
      if (split < c.header.size()) {
        EXPECT_EQ(opening.kind, rtsp::TunnelOpening::Kind::kIncomplete) << c.header << split;
      } else {
        EXPECT_EQ(opening.kind, c.kind) << c.header;
        // Only the header goes: what follows it is the first RTSP answer.
        EXPECT_EQ(opening.headerLength, c.header.size()) << c.header;
      }
    }
  }
}

TEST(RtspTunnel, CookiesAreTwentyHexDigitsAndDifferBetweenSessionsMadeTogether) {
  NullVideoPath video;
  InterleavedRtspSession first(kJpegTunnelPolicy, video);
  InterleavedRtspSession second(kJpegTunnelPolicy, video);
  EXPECT_TRUE(std::regex_match(first.tunnelCookie(), std::regex("[0-9a-f]{20}")));
  EXPECT_NE(first.tunnelCookie(), second.tunnelCookie());
  EXPECT_EQ(InterleavedRtspSession(kJpegInterleavedPolicy, video).tunnelCookie(), "");
}

TEST(RtspTunnel, GetAndPostOpenTheTunnelWithCredentialsWhenAUserIsSet) {
  const struct {
    std::string user, password, authorization;
  } cases[] = {
      {"", "", ""},
      {"user", "pass", "Authorization: Basic dXNlcjpwYXNz\r\n"},
  };
  for (const auto& c : cases) {
    TunnelCamera camera;
    camera.start(c.user, c.password);
    const std::string cookie = camera.session->tunnelCookie();
    EXPECT_EQ(camera.request(), "GET /h264 HTTP/1.0\r\nUser-Agent: ZIDizura Vazado v1.16.2\r\n"
                         "x-sessioncookie: " + cookie + "\r\nAccept: application/x-rtsp-tunnelled\r\n"
                         "Pragma: no-cache\r\nCache-Control: no-cache\r\n" + c.authorization + "\r\n");
    camera.send(kOpened);
    // DESCRIBE follows the POST header at once, on the POST.
    EXPECT_TRUE(camera.postCarries("POST /h264 HTTP/1.0\r\nUser-Agent: ZIDizura Vazado v1.16.2\r\n"
                            "x-sessioncookie: " + cookie + "\r\n"
                            "Content-Type: application/x-rtsp-tunnelled\r\nPragma: no-cache\r\n"
                            "Cache-Control: no-cache\r\nContent-Length: 32767\r\n" + c.authorization + "\r\n",
                            {camera.describe()}));
  }
}

struct TunnelTest : ::testing::Test, TunnelCamera {};

TEST_F(TunnelTest, AnswersOnTheGetDriveTheDialogueAndReportsGoOnThePost) {
  start();
  const std::string getRequest = request();
  // The first RTSP answer in the same segment as the HTTP header is read whole.
  send(kOpened + test::describeAnswer(kVideoOnly));
  post.receiveUntil([](const std::string& got) { return got.find("\r\n\r\n") != std::string::npos; });
  const std::string header = post.received().substr(0, post.received().find("\r\n\r\n") + 4);
  const std::string setup = "SETUP rtsp://cam/h264/trackID=1 RTSP/1.0\r\nCSeq: 1\r\n"
                            "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n" + kUserAgentEnd;
  ASSERT_TRUE(postCarries(header, {describe(), setup}));
  send(test::answer(1, "Session: 77\r\n"));
  const std::string play = "PLAY rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 2\r\nSession: 77\r\n"
                           "Range: npt=0.000-\r\n" + kUserAgentEnd;
  ASSERT_TRUE(postCarries(header, {describe(), setup, play}));
  send(test::answer(2, "Session: 77\r\n") + interleaved(1, std::string(28, '\x80')));
  const size_t before = post.received().size();
  post.receiveUntil([&](const std::string& got) { return got.size() > before; });
  ASSERT_TRUE(eventually([&] { return session->state() == InterleavedRtspSession::kPlaying; }));
  post.receiveUntil([&](const std::string& got) { return got.size() >= before + 76; });
  // One 56-byte frame, one Base64 text of 76 characters.
  const std::vector<uint8_t> report = base64::decode(post.received().substr(before));
  ASSERT_EQ(report.size(), 56u);
  EXPECT_EQ(std::tuple(report[0], report[1], report[3]), std::tuple('$', 1, 52));
  // Nothing but the GET request ever went on the GET.
  session->Stop();
  server.peer.receiveUntilClosed();
  EXPECT_EQ(server.peer.received(), getRequest);
}

TEST_F(TunnelTest, ARefusedTunnelEndsTheConnectionWithTheStatus) {
  start("user", "wrong");
  request();
  send("HTTP/1.0 401 Unauthorized\r\n\r\n");
  ASSERT_TRUE(eventually([&] { return session->finished(); }));
  EXPECT_EQ(causeOf(session->status()), "\"HTTP/1.0 401 Unauthorized\" to GET");
  EXPECT_EQ(session->status().failure()->fault, StreamFault::kAuthenticationRefused);
  session->Stop();
  post.receiveUntilClosed();
  EXPECT_EQ(post.received(), "");
}

// A camera that takes the connection but never opens the tunnel is given up like any that
// leaves a request unanswered.
TEST_F(TunnelTest, AGetLeftUnansweredEndsTheConnection) {
  start();
  request();
  clock.advance(rtsp::RtspExchange::kAnswerTimeoutMs - 1);
  send("HTTP/1.0 200");  // half a header does not open it
  clock.advance(1);
  ASSERT_TRUE(eventually([&] { return session->finished(); }));
  EXPECT_EQ(causeOf(session->status()), "no answer to GET");
}

}  // namespace
}  // namespace vexa
