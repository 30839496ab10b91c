#include "protocol/rtsp/RtspExchange.h"

#include <gtest/gtest.h>

#include "protocol/rtsp/RtspRequests.h"

namespace vexa::rtsp {
namespace {

using Next = RtspExchange::Next;

const std::string kDigestChallenge =
    "WWW-Authenticate: Digest realm=\"cam\", nonce=\"n1\", qop=\"auth\"\r\n";

RtspAnswer answer(const std::string& status, uint32_t cseq, const std::string& headers = {}) {
  return *readRtspAnswer("RTSP/1.0 " + status + "\r\nCSeq: " + std::to_string(cseq) + "\r\n" +
                         headers + "\r\n");
}

std::string describe(uint32_t cseq) {
  return "DESCRIBE rtsp://cam/h264 RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n\r\n";
}

struct Exchange : ::testing::Test {
  void SetUp() override { exchange.begin({"admin", "secret"}, "cam"); }
  Next judge(const std::string& request, const RtspAnswer& reply, bool optional = false) {
    sent = exchange.prepare(request, optional);
    return exchange.judge(reply).next;
  }

  SocketWorker worker{{}};
  platform::ManualClock clock;
  RtspExchange exchange{worker, clock};
  std::string sent;
};

TEST_F(Exchange, AChallengeIsAnsweredOnceAndASecondRefusalEndsTheDialogue) {
  EXPECT_EQ(judge(describe(0), answer("401 Unauthorized", 0, kDigestChallenge)), Next::kRetry);
  EXPECT_EQ(sent, describe(0)) << "no credentials before a challenge";
  EXPECT_EQ(judge(describe(1), answer("200 OK", 1)), Next::kProceed);
  EXPECT_NE(sent.find("\r\nAuthorization: Digest username=\"admin\""), std::string::npos);
  EXPECT_NE(sent.find("nc=00000001"), std::string::npos);
  EXPECT_EQ(judge(describe(2), answer("401 Unauthorized", 2, kDigestChallenge)), Next::kRetry);
  const RtspExchange::Verdict refused = [&] {
    exchange.prepare(describe(3));
    return exchange.judge(answer("401 Unauthorized", 3, kDigestChallenge));
  }();
  EXPECT_EQ(refused.next, Next::kFail);
  EXPECT_EQ(refused.failure->cause(), "authentication refused");
}

TEST_F(Exchange, AnswersToEarlierRequestsAreIgnoredAndOptionalOnesMayFail) {
  EXPECT_EQ(judge(describe(5), answer("200 OK", 4)), Next::kIgnore);
  EXPECT_EQ(exchange.judge(answer("404 Not Found", 5)).failure->cause(),
            "\"RTSP/1.0 404 Not Found\" to DESCRIBE");
  EXPECT_EQ(judge(describe(6), answer("453 Not Enough Bandwidth", 6), true), Next::kSkip);
  const RtspExchange::Verdict udpRefused = [&] {
    exchange.prepare(describe(7));
    return exchange.judge(answer("461 Unsupported Transport", 7));
  }();
  EXPECT_EQ(udpRefused.failure->fault, StreamFault::kTransportRefused);
}

TEST_F(Exchange, RedirectsAreFollowedAFewTimesCarryingCredentialsOnlyToTheSameHost) {
  const struct {
    const char* location;
    Next next;
    const char* host;
    uint16_t port;
    const char* url;
    bool credentialsKept;
  } cases[] = {
      {"rtsp://cam:8554/moved", Next::kRedirect, "cam", 8554, "rtsp://cam:8554/moved", true},
      {"rtsp://bob:pw@other/x", Next::kRedirect, "other", 554, "rtsp://other/x", true},
      {"rtsp://[::1]:9/y", Next::kRedirect, "::1", 9, "rtsp://[::1]:9/y", false},
      {"rtsp://cam/again", Next::kFail, "", 0, "", false},  // a fourth hop
  };
  for (const auto& c : cases) {
    EXPECT_EQ(judge(describe(0), answer("301 Moved Permanently", 0, std::string("Location: ") + c.location + "\r\n")),
              c.next) << c.location;
    if (c.next != Next::kRedirect) continue;
    const auto& target = exchange.redirectTarget();
    EXPECT_EQ(std::tuple(target.host, target.port, target.url), std::tuple(c.host, c.port, c.url));
    EXPECT_EQ(judge(describe(1), answer("401 Unauthorized", 1, kDigestChallenge)),
              c.credentialsKept ? Next::kRetry : Next::kFail) << c.location;
    exchange.judge(answer("200 OK", 1));
  }
  exchange.begin({}, "cam");
  EXPECT_EQ(judge(describe(0), answer("302 Found", 0, "Location: http://cam/x\r\n")), Next::kFail);
}

TEST_F(Exchange, KeepAlivesComeAtHalfTheTimeOutAsGetParameterUntilTheServerRefusesIt) {
  const std::pair<std::optional<uint32_t>, uint32_t> intervals[] = {
      {std::nullopt, 30000}, {60, 30000}, {6, 3000}, {1, 1000}, {4000000000u, 3600000}};
  for (const auto& [timeout, interval] : intervals) {
    exchange.startKeepAlive(timeout);
    EXPECT_EQ(exchange.keepAliveIntervalMs(), interval);
  }
  exchange.startKeepAlive(20);
  clock.advance(9999);
  EXPECT_FALSE(exchange.keepAliveDue());
  clock.advance(1);
  EXPECT_EQ(exchange.keepAliveDue(), std::string_view(kGetParameter));
  EXPECT_FALSE(exchange.keepAliveDue()) << "counted as sent";
  const std::string keepAlive = "GET_PARAMETER rtsp://cam/h264 RTSP/1.0\r\nCSeq: 9\r\n\r\n";
  EXPECT_EQ(judge(keepAlive, answer("501 Not Implemented", 9)), Next::kRetry);
  EXPECT_EQ(exchange.keepAliveMethod(), std::string_view(kOptions));
  exchange.begin({}, "cam");
  exchange.judge(answer("200 OK", 0, "Public: OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN\r\n"));
  EXPECT_EQ(exchange.keepAliveMethod(), std::string_view(kOptions));
}

}  // namespace
}  // namespace vexa::rtsp
