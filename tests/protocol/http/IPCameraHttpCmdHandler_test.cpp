#include "protocol/http/IPCameraHttpCmdHandler.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/HungResolver.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

constexpr int32_t kTimeoutMs = 5000;
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\nzoomposition=789";

// A handler and the loopback camera it asks.
class CommandTest : public testing::Test {
 protected:
  bool request(const std::string& target, const std::string& user = {},
               const std::string& pass = {}, int32_t timeoutMs = kTimeoutMs) {
    return handler.Request("127.0.0.1", server.port(), target, user, pass, timeoutMs);
  }
  // Takes the next connection's request and sends wire on it; the request received.
  std::string answer(const std::string& wire, bool thenClose = false) {
    if (!server.accept()) return {};
    std::string received = server.peer.nextRequest();
    server.peer.send(wire);
    if (thenClose) server.peer.close();
    return received;
  }
  int32_t finalStatus() {
    test::eventually([&] { return handler.GetStatus() != 0; });
    return handler.GetStatus();
  }
  std::string line(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
           "\r\n";
  }

  test::LoopbackServer server;
  IPCamera_Http_Cmd_Handler handler{[] { return std::string("0a4f113b"); }};
};

TEST(IdleCountdown, CountsWholeWaitPeriodsOfTheTimeOut) {
  const struct {
    int32_t timeoutMs;
    int quietPeriods;  // until the request is out of time
  } cases[] = {{150, 1}, {5000, 50}, {50, 1}, {0, 1}};
  for (const auto& c : cases) {
    IdleCountdown idle(c.timeoutMs);
    for (int period = 1; period < c.quietPeriods; ++period) {
      EXPECT_FALSE(idle.expiresAfterQuietPeriod()) << c.timeoutMs << " ms, period " << period;
    }
    EXPECT_TRUE(idle.expiresAfterQuietPeriod()) << c.timeoutMs << " ms";
  }
}

TEST_F(CommandTest, SendsTheRequestByteForByteAndKeepsCredentials) {
  const std::string target = "/cgi-bin/com/ptz.cgi?query=position";
  // The second request, with empty user and password, keeps the first one's credentials.
  for (const char* user : {"root", ""}) {
    ASSERT_TRUE(request(target, user, *user ? "pass" : ""));
    EXPECT_FALSE(request("/other")) << "one request at a time";
    EXPECT_EQ(handler.GetStatus(), 0);
    EXPECT_EQ(answer(kOk), line(target) + "Authorization: Basic cm9vdDpwYXNz\r\n\r\n");
    EXPECT_EQ(finalStatus(), 200);
    EXPECT_EQ(handler.GetResponse(), kOk);
  }
}

TEST_F(CommandTest, ReadsEveryFramingOverSeveralReads) {
  const std::string body(5000, 'b');  // beyond one read
  const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const struct {
    std::string wire;
    std::string answer;
  } cases[] = {
      {"HTTP/1.0 200 OK\n\n" + body, "HTTP/1.0 200 OK\n\n" + body},  // to the close
      {chunkedHead + "1388\r\n" + body + "\r\n0\r\n\r\n", chunkedHead + body},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(request("/"));
    answer(c.wire, true);
    EXPECT_EQ(finalStatus(), 200);
    EXPECT_EQ(handler.GetResponse(), c.answer);
  }
}

TEST_F(CommandTest, RefusesTargetsThatWouldBreakTheRequestLine) {
  const std::string targets[] = {
      "/a\r\nX: y", "/a\nb", std::string("/a\0b", 4),
      "/" + std::string(IPCamera_Http_Cmd_Handler::kMaxTargetBytes, 'a')};
  for (const std::string& target : targets) {
    EXPECT_FALSE(request(target));
    EXPECT_EQ(handler.GetStatus(), 0) << "nothing started";
  }
}

TEST_F(CommandTest, FailuresEndTheRequestAndKeepThePreviousAnswer) {
  ASSERT_TRUE(request("/"));
  answer(kOk);
  ASSERT_EQ(finalStatus(), 200);
  uint16_t closedPort = 0;
  {
    test::LoopbackServer gone;
    closedPort = gone.port();
  }
  ASSERT_TRUE(handler.Request("127.0.0.1", closedPort, "/", "", "", kTimeoutMs));
  EXPECT_EQ(finalStatus(), -1) << "refused";
  ASSERT_TRUE(handler.Request("no-such-camera.invalid", 80, "/", "", "", kTimeoutMs));
  EXPECT_EQ(finalStatus(), -1) << "unknown name";
  ASSERT_TRUE(request("/"));
  answer("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\npart", true);
  EXPECT_EQ(finalStatus(), -1) << "closed mid-answer";
  ASSERT_TRUE(request("/", "", "", 150));
  ASSERT_TRUE(server.accept());
  EXPECT_EQ(finalStatus(), -1) << "silent after its one period";
  EXPECT_EQ(handler.GetResponse(), kOk);
}

TEST(CommandChannel, NeverWaitsOnAHungLookUp) {
  test::HungResolver hung;
  auto handler = std::make_unique<IPCamera_Http_Cmd_Handler>(nullptr, hung.resolver());
  // The look-up's wait periods are quiet ones: 300 ms run out after three of them.
  ASSERT_TRUE(handler->Request("camera.test", 80, "/", "", "", 300));
  EXPECT_TRUE(test::eventually([&] { return handler->GetStatus() != 0; }));
  EXPECT_EQ(handler->GetStatus(), -1);
  EXPECT_TRUE(hung.entered()) << "failed while the look-up still hangs";
  // Destroying the handler during a second hung look-up does not wait for it either.
  ASSERT_TRUE(handler->Request("camera.test", 80, "/", "", "", kTimeoutMs));
  EXPECT_EQ(handler->GetStatus(), 0);
  handler.reset();
  EXPECT_TRUE(hung.entered());
  hung.release();
  EXPECT_TRUE(hung.allLetGo());
}

TEST_F(CommandTest, AnswersADigestChallengeAndReusesItsNonce) {
  const std::string target = "/dir/index.html";
  ASSERT_TRUE(request(target, "Mufasa", "Circle Of Life"));
  answer(
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"testrealm@host.com\", "
      "qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"\r\nContent-Length: 0\r\n\r\n");
  // RFC 2617 section 3.5, on a new connection; the next request reuses the nonce, counting on.
  for (const auto& [nc, response] : {std::pair{"00000001", "6629fae49393a05397450978507c4ef1"},
                                     std::pair{"00000002", "15b6bb427e3fecd23a43cb702ce447d5"}}) {
    if (std::string(nc) != "00000001") ASSERT_TRUE(request(target));
    EXPECT_EQ(answer(kOk),
              line(target) +
                  "Authorization: Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
                  "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
                  "response=\"" +
                  response +
                  "\", cnonce=\"0a4f113b\", "
                  "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", qop=auth, nc=" +
                  nc + "\r\n\r\n");
    EXPECT_EQ(finalStatus(), 200);
  }
  // A stale nonce is retried once; a second challenge after that is the camera's last word.
  const std::string stale =
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n2\", "
      "stale=true\r\nContent-Length: 0\r\n\r\n";
  ASSERT_TRUE(request(target));
  answer(stale);
  answer(stale);
  EXPECT_EQ(finalStatus(), 401);
  EXPECT_EQ(handler.GetResponse(), stale);
}

}  // namespace
}  // namespace vexa
