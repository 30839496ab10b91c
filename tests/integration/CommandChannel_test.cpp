// The command channel asking the simulated camera over loopback: every answer framing it offers,
// its Digest challenges, and how requests end when nobody answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "camera/MjpegServer.h"
#include "platform/Clock.h"
#include "protocol/http/IPCameraHttpCmdHandler.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using camera::AuthCounts;
using camera::CgiFraming;

const std::string kPositionQuery = "/cgi-bin/com/ptz.cgi?query=position";
constexpr int32_t kTimeoutMs = 5000;
// Far beyond the test's own bounded wait: a request that ends within it did not count down.
constexpr int32_t kEndlessMs = 600000;
constexpr int kNonceLifetimeSeconds = 60;
constexpr uint32_t kMsPerSecond = 1000;
const char* const kUser = "operator";
const char* const kPassword = "s3cret";

// The camera with settings of its own; the pictures it streams are not asked for here.
std::unique_ptr<camera::MjpegServer> startCamera(camera::MjpegServerOptions options) {
  options.width = 320;
  options.height = 240;
  options.fps = 1;
  auto camera = std::make_unique<camera::MjpegServer>(std::move(options));
  return camera->start() ? std::move(camera) : nullptr;
}

// Polls more often than test::eventually: the descriptor test waits for a thousand requests.
int32_t finalStatus(const IPCamera_Http_Cmd_Handler& handler) {
  const auto deadline = std::chrono::steady_clock::now() + test::kGenerousWait;
  while (handler.GetStatus() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return handler.GetStatus();
}

// The body after the head, its line ends made alike.
std::string bodyLines(const std::string& answer) {
  size_t start = answer.find("\r\n\r\n");
  start = start != std::string::npos ? start + 4 : answer.find("\n\n") + 2;
  std::string body;
  for (char c : answer.substr(start)) {
    if (c != '\r') body.push_back(c);
  }
  return body;
}

uint16_t closedPort() {
  test::LoopbackServer gone;
  return gone.port();
}

size_t entriesIn(const char* folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

TEST(CommandChannel, EveryAnswerFramingGivesThePositionAlike) {
  std::string firstBody;
  for (CgiFraming framing : {CgiFraming::Length, CgiFraming::LengthLower, CgiFraming::Chunked,
                             CgiFraming::Close, CgiFraming::LfOnly}) {
    const auto camera = startCamera({.cgiFraming = framing});
    ASSERT_TRUE(camera);
    IPCamera_Http_Cmd_Handler handler;
    ASSERT_TRUE(handler.Request("127.0.0.1", camera->port(), kPositionQuery, "", "", kTimeoutMs));
    const int framingNumber = int(framing);
    ASSERT_EQ(finalStatus(handler), 200) << "framing " << framingNumber;
    const std::string body = bodyLines(handler.GetResponse());
    if (firstBody.empty()) firstBody = body;
    EXPECT_NE(body.find("\nzoomposition="), std::string::npos) << body;
    EXPECT_EQ(body, firstBody) << "framing " << framingNumber;
  }
}

TEST(CommandChannel, DigestCostsOneChallengeUntilTheNonceAgesOrThePasswordIsWrong) {
  platform::ManualClock cameraClock{1000};
  const auto camera = startCamera({.user = kUser,
                                   .password = kPassword,
                                   .auth = camera::AuthScheme::Digest,
                                   .nonceLifetimeSeconds = kNonceLifetimeSeconds,
                                   .clock = &cameraClock});
  ASSERT_TRUE(camera);
  // One handler throughout: each row follows the one before it.
  const struct {
    const char* what;
    const char* user;
    const char* password;
    uint32_t cameraClockAdvanceMs;
    int32_t status;
    AuthCounts added;  // 401s, requests let through, stale 401s
  } steps[] = {
      {"first request", kUser, kPassword, 0, 200, {1, 1, 0}},
      {"nonce reused", "", "", 0, 200, {0, 1, 0}},
      {"nonce aged", "", "", kNonceLifetimeSeconds * kMsPerSecond, 200, {1, 1, 1}},
      {"wrong password", kUser, "wrong", 0, 401, {2, 0, 0}},
  };
  IPCamera_Http_Cmd_Handler handler;
  for (const auto& step : steps) {
    cameraClock.advance(step.cameraClockAdvanceMs);
    const AuthCounts before = camera->authCounts();
    ASSERT_TRUE(handler.Request("127.0.0.1", camera->port(), kPositionQuery, step.user,
                                step.password, kTimeoutMs));
    EXPECT_EQ(finalStatus(handler), step.status) << step.what;
    const AuthCounts after = camera->authCounts();
    EXPECT_EQ((AuthCounts{after.unauthorised - before.unauthorised,
                          after.authorised - before.authorised, after.stale - before.stale}),
              step.added)
        << step.what;
  }
}

TEST(CommandChannel, ARequestNobodyAnswersFails) {
  test::LoopbackServer silent;
  const struct {
    const char* what;
    uint16_t port;
    int32_t timeoutMs;
    bool accepted;
  } cases[] = {
      // A listener that takes the connection and never answers: its three quiet periods run out.
      {"silent", silent.port(), 300, true},
      // A refused connection fails at once, long before its countdown could.
      {"refused", closedPort(), kEndlessMs, false},
  };
  for (const auto& c : cases) {
    IPCamera_Http_Cmd_Handler handler;
    ASSERT_TRUE(handler.Request("127.0.0.1", c.port, kPositionQuery, "", "", c.timeoutMs));
    if (c.accepted) ASSERT_TRUE(silent.accept());
    EXPECT_EQ(finalStatus(handler), -1) << c.what;
  }
}

TEST(CommandChannel, FailedRequestsLeaveNoDescriptorsOrThreadsBehind) {
  constexpr int kRequests = 1000;
  const uint16_t port = closedPort();
  IPCamera_Http_Cmd_Handler handler;
  const size_t descriptors = entriesIn("/proc/self/fd");
  const size_t threads = entriesIn("/proc/self/task");
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_TRUE(handler.Request("127.0.0.1", port, kPositionQuery, "", "", kEndlessMs));
    ASSERT_EQ(finalStatus(handler), -1) << "request " << i;
  }
  // An ended worker's thread may still be on its way out.
  EXPECT_TRUE(test::eventually([&] {
    return entriesIn("/proc/self/fd") <= descriptors && entriesIn("/proc/self/task") <= threads;
  })) << entriesIn("/proc/self/fd")
      << " descriptors (" << descriptors << " before), " << entriesIn("/proc/self/task")
      << " threads (" << threads << " before)";
}

}  // namespace
}  // namespace vexa
