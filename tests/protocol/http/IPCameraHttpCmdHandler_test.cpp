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

// A refused connection and a silent camera are failed in tests/integration/CommandChannel_test.cpp.
TEST_F(CommandTest, FailuresEndTheRequestAndKeepThePreviousAnswer) {
  ASSERT_TRUE(request("/"));
  answer(kOk);
  ASSERT_EQ(finalStatus(), 200);
  ASSERT_TRUE(handler.Request("no-such-camera.invalid", 80, "/", "", "", kTimeoutMs));
  EXPECT_EQ(finalStatus(), -1) << "unknown name";
  ASSERT_TRUE(request("/"));
  answer("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\npart", true);
  EXPECT_EQ(finalStatus(), -1) << "closed mid-answer";
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

// Nonce reuse, a stale nonce and a wrong password against the simulated camera are in
// tests/integration/CommandChannel_test.cpp; here the answer's exact line.
TEST_F(CommandTest, AnswersADigestChallengeOnANewConnection) {
  ASSERT_TRUE(request("/dir/index.html", "Mufasa", "Circle Of Life"));
  answer(
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"testrealm@host.com\", "
      "qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"\r\nContent-Length: 0\r\n\r\n");
  // RFC 2617 section 3.5.
  EXPECT_EQ(answer(kOk),
            line("/dir/index.html") +
                "Authorization: Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
                "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
                "response=\"6629fae49393a05397450978507c4ef1\", cnonce=\"0a4f113b\", "
                "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", qop=auth, nc=00000001\r\n\r\n");
  EXPECT_EQ(finalStatus(), 200);
}

}  // namespace
}  // namespace vexa
