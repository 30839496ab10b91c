#include "protocol/http/IPCameraHttpCmdHandler.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;
using test::LoopbackServer;

constexpr int32_t kTimeoutMs = 5000;
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\nzoomposition=789";

bool ended(const IPCamera_Http_Cmd_Handler& handler) {
  return eventually([&] { return handler.GetStatus() != 0; });
}

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

TEST(IPCamera_Http_Cmd_Handler, SendsTheRequestByteForByteAndKeepsCredentials) {
  LoopbackServer server;
  IPCamera_Http_Cmd_Handler handler;
  const std::string target = "/cgi-bin/com/ptz.cgi?query=position";
  const std::string port = std::to_string(server.port());
  const struct {
    const char* user;
    const char* pass;
    std::string request;
  } cases[] = {
      {"root", "pass",
       "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + port +
           "\r\nAuthorization: Basic cm9vdDpwYXNz\r\n\r\n"},
      // Empty user and password keep the last request's credentials.
      {"", "", "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                   "\r\nAuthorization: Basic cm9vdDpwYXNz\r\n\r\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(handler.Request("127.0.0.1", server.port(), target, c.user, c.pass, kTimeoutMs));
    EXPECT_FALSE(handler.Request("127.0.0.1", server.port(), "/other", "", "", kTimeoutMs))
        << "one request at a time";
    EXPECT_EQ(handler.GetStatus(), 0);
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(server.peer.nextRequest(), c.request);
    server.peer.send(kOk);
    ASSERT_TRUE(ended(handler));
    EXPECT_EQ(handler.GetStatus(), 200);
    EXPECT_EQ(handler.GetResponse(), kOk);
  }
}

TEST(IPCamera_Http_Cmd_Handler, RefusesTargetsThatWouldBreakTheRequestLine) {
  IPCamera_Http_Cmd_Handler handler;
  const std::string targets[] = {"/a\r\nX: y", "/a\nb", std::string("/a\0b", 4),
                                 "/" + std::string(IPCamera_Http_Cmd_Handler::kMaxTargetBytes, 'a')};
  for (const std::string& target : targets) {
    EXPECT_FALSE(handler.Request("127.0.0.1", 80, target, "", "", kTimeoutMs));
    EXPECT_EQ(handler.GetStatus(), 0) << "nothing started";
  }
}

TEST(IPCamera_Http_Cmd_Handler, FailuresEndTheRequestAndKeepThePreviousAnswer) {
  LoopbackServer server;
  IPCamera_Http_Cmd_Handler handler;
  ASSERT_TRUE(handler.Request("127.0.0.1", server.port(), "/", "", "", kTimeoutMs));
  ASSERT_TRUE(server.accept());
  server.peer.nextRequest();
  server.peer.send(kOk);
  ASSERT_TRUE(ended(handler));

  uint16_t closedPort = 0;
  {
    LoopbackServer gone;
    closedPort = gone.port();
  }
  // Refused, unknown name, a peer that closes mid-answer, a silent peer after its one period.
  ASSERT_TRUE(handler.Request("127.0.0.1", closedPort, "/", "", "", kTimeoutMs));
  ASSERT_TRUE(ended(handler));
  EXPECT_EQ(handler.GetStatus(), -1);
  ASSERT_TRUE(handler.Request("no-such-camera.invalid", 80, "/", "", "", kTimeoutMs));
  ASSERT_TRUE(ended(handler));
  EXPECT_EQ(handler.GetStatus(), -1);
  ASSERT_TRUE(handler.Request("127.0.0.1", server.port(), "/", "", "", kTimeoutMs));
  ASSERT_TRUE(server.accept());
  server.peer.nextRequest();
  server.peer.send("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\npart");
  server.peer.close();
  ASSERT_TRUE(ended(handler));
  EXPECT_EQ(handler.GetStatus(), -1);
  ASSERT_TRUE(handler.Request("127.0.0.1", server.port(), "/", "", "", 150));
  ASSERT_TRUE(server.accept());
  ASSERT_TRUE(ended(handler));
  EXPECT_EQ(handler.GetStatus(), -1);
  EXPECT_EQ(handler.GetResponse(), kOk);
}

TEST(IPCamera_Http_Cmd_Handler, AnswersADigestChallengeAndReusesItsNonce) {
  LoopbackServer server;
  IPCamera_Http_Cmd_Handler handler([] { return std::string("0a4f113b"); });
  const std::string target = "/dir/index.html";
  ASSERT_TRUE(handler.Request("127.0.0.1", server.port(), target, "Mufasa", "Circle Of Life",
                              kTimeoutMs));
  ASSERT_TRUE(server.accept());
  server.peer.nextRequest();
  server.peer.send(
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"testrealm@host.com\", "
      "qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"\r\nContent-Length: 0\r\n\r\n");
  // RFC 2617 section 3.5; the second request reuses the nonce with the next count.
  const auto expectDigest = [&](const char* nc, const char* response) {
    ASSERT_TRUE(server.accept()) << "the answer goes on a new connection";
    EXPECT_EQ(server.peer.nextRequest(),
              "GET /dir/index.html HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                  "\r\nAuthorization: Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
                  "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
                  "response=\"" + response + "\", cnonce=\"0a4f113b\", "
                  "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", qop=auth, nc=" + nc + "\r\n\r\n");
    server.peer.send(kOk);
    ASSERT_TRUE(ended(handler));
    EXPECT_EQ(handler.GetStatus(), 200);
  };
  expectDigest("00000001", "6629fae49393a05397450978507c4ef1");
  ASSERT_TRUE(handler.Request("127.0.0.1", server.port(), target, "", "", kTimeoutMs));
  expectDigest("00000002", "15b6bb427e3fecd23a43cb702ce447d5");
}

}  // namespace
}  // namespace vexa
