// The interleaved dialogue against a scripted camera on loopback: exact requests, states,
// and what happens to the frames that follow PLAY. A redirect, and a refusal ending the
// dialogue, play against the simulated camera in tests/integration/RealServers_test.cpp; the
// audio SETUP joining the video's session, against GStreamer's server in tests/interop.
#include "protocol/rtsp/InterleavedRtspSession.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/Thread.h"
#include "protocol/rtsp/ScriptedCamera.h"

namespace vexa {
namespace {

using test::describeAnswer;
using test::eventually;

// Records what the dialogue hands to the video path.
class RecordingVideoPath final : public InterleavedVideoPath {
 public:
  void beginSession() override {}
  void configure(const StreamConfig&) override { configured_ = true; }
  void onPacket(std::span<const uint8_t> rtp) override {
    std::lock_guard lock(mutex_);
    packets_.emplace_back(rtp.begin(), rtp.end());
  }
  ReceptionFigures figures() const override { return {}; }
  int32_t lostPackets() const override { return 3; }

  std::vector<std::string> packets() {
    std::lock_guard lock(mutex_);
    return packets_;
  }
  bool configured() const { return configured_; }

 private:
  std::mutex mutex_;
  std::vector<std::string> packets_;
  std::atomic<bool> configured_{false};
};

std::string okAnswer(int cseq, const std::string& session = "1234;timeout=60") {
  return test::answer(cseq, "Session: " + session + "\r\n");
}

std::string interleaved(uint8_t channel, const std::string& body) {
  return std::string{'$', char(channel), char(body.size() >> 8), char(body.size() & 0xFF)} + body;
}

const std::string kVideoOnly =
    "v=0\r\ns=x\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:trackID=1\r\n";
const std::string kAudioOnly = "v=0\r\ns=x\r\nm=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n";
const std::string kNoMedia = "v=0\r\ns=x\r\n";
const std::string kUserAgentEnd = test::kUserAgentLine + "\r\n";

struct DialogueTest : ::testing::Test, test::ScriptedCamera {
  void start(const InterleavedCodecPolicy& policy = kH264InterleavedPolicy) {
    config.host = "127.0.0.1";
    config.path = "/h264";
    config.rtspPort = server.port();
    session = std::make_unique<InterleavedRtspSession>(policy, video, clock);
    session->setConfig(&config);
    ASSERT_TRUE(session->Play());
    ASSERT_TRUE(server.accept());
  }
  // Runs the dialogue to playing (video only), the PLAY answer naming timeout seconds.
  void startPlaying(const std::string& session = "1234;timeout=20") {
    start();
    request();
    send(describeAnswer(kVideoOnly));
    request();
    send(okAnswer(1, session));
    request();
    send(okAnswer(2, session));
    ASSERT_TRUE(eventually([&] { return this->session->state() == InterleavedRtspSession::kPlaying; }));
  }
  std::string failure() const { return causeOf(session->status()); }

  StreamConfig config;
  RecordingVideoPath video;
  platform::ManualClock clock;
  std::unique_ptr<InterleavedRtspSession> session;
};

TEST_F(DialogueTest, VideoOnlyRunsDescribeSetupPlayWithCountedCSeqAndTheSessionIdAlone) {
  start();
  EXPECT_EQ(request(), "DESCRIBE " + url() + " RTSP/1.0\r\nCSeq: 0\r\nAccept: application/sdp\r\n" + kUserAgentEnd);
  send(describeAnswer(kVideoOnly));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=1 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n" + kUserAgentEnd);
  EXPECT_TRUE(video.configured());
  send(okAnswer(1, " 1234 ;timeout=60"));
  EXPECT_EQ(request(), "PLAY rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 2\r\nSession: 1234\r\n"
                       "Range: npt=0.000-\r\n" + kUserAgentEnd);
  // The PLAY answer and the first frames in one segment: the frames are kept and split.
  send(okAnswer(2) + interleaved(0, "rtp-1") + interleaved(0, "rtp-2"));
  EXPECT_TRUE(eventually([&] { return video.packets().size() == 2; }));
  EXPECT_EQ(video.packets(), (std::vector<std::string>{"rtp-1", "rtp-2"}));
  EXPECT_EQ(session->state(), InterleavedRtspSession::kPlaying);
  EXPECT_TRUE(session->status().playing());
  EXPECT_EQ(session->takeVideoBytes(), 10u);
}

TEST_F(DialogueTest, AudioOnlySkipsTheVideoSetupAndTakesTheAudioSession) {
  start();
  request();
  send(describeAnswer(kAudioOnly));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=2 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n" + kUserAgentEnd);
  send(okAnswer(1, "77"));
  EXPECT_NE(request().find("\r\nSession: 77\r\n"), std::string::npos);
}

TEST_F(DialogueTest, ADescriptionWithoutMediaIsTornDownAndSaysSo) {
  start();
  request();
  send(describeAnswer(kNoMedia));
  EXPECT_EQ(request(), "TEARDOWN rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 1\r\n" + kUserAgentEnd);
  EXPECT_TRUE(eventually([&] { return session->state() == InterleavedRtspSession::kTornDown; }));
  EXPECT_EQ(failure(), "no video or audio described");
}

TEST_F(DialogueTest, ADescribeAnswerIsReadOnceItsWholeBodyArrivedWhateverItsLineEnds) {
  start();
  request();
  std::string answer = describeAnswer(kVideoOnly);
  // Line feeds alone, as some cameras write them (the length counts what is sent).
  for (size_t at = answer.find("\r\n"); at != std::string::npos; at = answer.find("\r\n", at)) answer.erase(at, 1);
  const std::string body = answer.substr(answer.find("\n\n") + 2);
  answer.replace(answer.find("Content-Length: ") + 16, 2, std::to_string(body.size()));
  send(answer.substr(0, answer.size() - 1));  // one byte short: wait
  platform::sleepMs(300);
  EXPECT_EQ(session->state(), InterleavedRtspSession::kDescribe);
  send(answer.substr(answer.size() - 1));
  EXPECT_EQ(request().substr(0, 37), "SETUP rtsp://cam/h264/trackID=1 RTSP/");
}

TEST_F(DialogueTest, ADescribeLeftUnansweredEndsTheConnection) {
  start();
  request();
  clock.advance(rtsp::RtspExchange::kAnswerTimeoutMs);
  EXPECT_TRUE(eventually([&] { return session->finished(); }));
  EXPECT_EQ(failure(), "no answer to DESCRIBE");
}

TEST_F(DialogueTest, TheJpegMemberBuildsItsUrlsOnHostAndPathNotOnTheContentBase) {
  start(kJpegInterleavedPolicy);
  request();
  send(describeAnswer("v=0\r\nm=video 0 RTP/AVP 26\r\na=control:trackID=1\r\n", 0,
                      "content-base: rtsp://cam/other/\r\n"));
  EXPECT_EQ(request().substr(0, 6 + url().size() + 10), "SETUP " + url() + "/trackID=1");
  send(okAnswer(1));
  EXPECT_EQ(request().substr(0, 5 + url().size() + 1), "PLAY " + url() + " ");
}

TEST_F(DialogueTest, KeepAlivesGoAtHalfTheTimeOutBetweenFramesAndTurnToOptionsWhenRefused) {
  startPlaying("1234;timeout=20");
  clock.advance(9999);
  send(interleaved(0, "a"));
  ASSERT_TRUE(eventually([&] { return video.packets().size() == 1; }));
  clock.advance(1);
  EXPECT_EQ(request(), "GET_PARAMETER rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 3\r\nSession: 1234\r\n" +
                           kUserAgentEnd);
  // The answer arrives between frames, split across two reads.
  const std::string refused = "RTSP/1.0 405 Method Not Allowed\r\nCSeq: 3\r\n\r\n";
  send(interleaved(0, "b") + refused.substr(0, 9));
  send(refused.substr(9) + interleaved(0, "c"));
  EXPECT_EQ(request(), "OPTIONS rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 4\r\nSession: 1234\r\n" + kUserAgentEnd);
  EXPECT_TRUE(eventually([&] { return video.packets().size() == 3; }));
  EXPECT_EQ(video.packets(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_FALSE(session->finished());
}

TEST_F(DialogueTest, ASessionTheServerForgotEndsTheConnection) {
  startPlaying();
  clock.advance(10000);
  request();
  send("RTSP/1.0 454 Session Not Found\r\nCSeq: 3\r\n\r\n");
  EXPECT_TRUE(eventually([&] { return session->finished(); }));
  EXPECT_EQ(failure(), "\"RTSP/1.0 454 Session Not Found\" to GET_PARAMETER");
}

}  // namespace
}  // namespace vexa
