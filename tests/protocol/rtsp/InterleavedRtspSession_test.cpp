// The interleaved dialogue against a scripted camera on loopback: exact requests, states,
// and what happens to the frames that follow PLAY.
#include "protocol/rtsp/InterleavedRtspSession.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/Thread.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;
using test::LoopbackServer;

// Records what the dialogue hands to the video path.
class RecordingVideoPath final : public InterleavedVideoPath {
 public:
  void configure(const StreamConfig&) override { configured_ = true; }
  void onPacket(std::span<const uint8_t> rtp) override {
    std::lock_guard lock(mutex_);
    packets_.emplace_back(rtp.begin(), rtp.end());
  }
  ReceptionFigures figures() const override { return {.lastSequence = 7, .wrapCount = 1, .lostPackets = 3}; }
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

std::string describeAnswer(const std::string& sdp, int cseq = 0,
                           const std::string& extraHeaders = "Content-Base: rtsp://cam/h264/\r\n") {
  return "RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\n" + extraHeaders +
         "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
}

std::string okAnswer(int cseq, const std::string& session = "1234;timeout=60") {
  return "RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\nSession: " + session + "\r\n\r\n";
}

std::string interleaved(uint8_t channel, const std::string& body) {
  return std::string{'$', char(channel), char(body.size() >> 8), char(body.size() & 0xFF)} + body;
}

const std::string kVideoOnly =
    "v=0\r\ns=x\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:trackID=1\r\n";
const std::string kAudioOnly = "v=0\r\ns=x\r\nm=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n";
const std::string kNoMedia = "v=0\r\ns=x\r\n";
const std::string kUserAgentEnd = "User-Agent: Halvorin V.2008-02-25\r\n\r\n";

struct DialogueTest : ::testing::Test {
  void start(const InterleavedCodecPolicy& policy = kH264InterleavedPolicy) {
    config.host = "127.0.0.1";
    config.path = "/h264";
    config.rtspPort = server.port();
    session = std::make_unique<InterleavedRtspSession>(policy, video, clock);
    session->setConfig(&config);
    ASSERT_TRUE(session->Play());
    ASSERT_TRUE(server.accept());
  }
  std::string request() { return server.peer.nextRequest(); }
  void send(const std::string& bytes) { server.peer.send(bytes); }

  LoopbackServer server;
  StreamConfig config;
  RecordingVideoPath video;
  platform::ManualClock clock;
  std::unique_ptr<InterleavedRtspSession> session;
};

TEST_F(DialogueTest, VideoOnlyRunsDescribeSetupPlayWithCountedCSeq) {
  start();
  EXPECT_EQ(request(), "DESCRIBE rtsp://127.0.0.1/h264 RTSP/1.0\r\nCSeq: 0\r\nAccept: application/sdp\r\n" + kUserAgentEnd);
  send(describeAnswer(kVideoOnly));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=1 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n" + kUserAgentEnd);
  EXPECT_TRUE(video.configured());
  send(okAnswer(1));
  EXPECT_EQ(request(), "PLAY rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 2\r\nSession: 1234;timeout=60\r\n"
                       "Range: npt=0.000-\r\n" + kUserAgentEnd);
  // The PLAY answer and the first frames in one segment: the frames are kept and split.
  send(okAnswer(2) + interleaved(0, "rtp-1") + interleaved(0, "rtp-2"));
  EXPECT_TRUE(eventually([&] { return video.packets().size() == 2; }));
  EXPECT_EQ(video.packets(), (std::vector<std::string>{"rtp-1", "rtp-2"}));
  EXPECT_EQ(session->state(), InterleavedRtspSession::kPlaying);
  EXPECT_EQ(session->takeVideoBytes(), 10u);
}

TEST_F(DialogueTest, TheAudioSetupJoinsTheVideosSession) {
  start();
  request();
  send(describeAnswer(kVideoOnly + kAudioOnly.substr(kAudioOnly.find("m=audio"))));
  request();
  send(okAnswer(1, "ABC;timeout=60"));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=2 RTSP/1.0\r\nCSeq: 2\r\nSession: ABC;timeout=60\r\n"
                       "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n" + kUserAgentEnd);
}

TEST_F(DialogueTest, AudioOnlySkipsTheVideoSetup) {
  start();
  request();
  send(describeAnswer(kAudioOnly));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=2 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n" + kUserAgentEnd);
}

TEST_F(DialogueTest, ADescriptionWithoutMediaIsTornDown) {
  start();
  request();
  send(describeAnswer(kNoMedia));
  EXPECT_EQ(request(), "TEARDOWN rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 1\r\nSession:\r\n" + kUserAgentEnd);
  EXPECT_TRUE(eventually([&] { return session->state() == InterleavedRtspSession::kTornDown; }));
}

TEST_F(DialogueTest, ADescribeAnswerIsReadOnlyWhenItHasExactlyItsLength) {
  start();
  request();
  const std::string answer = describeAnswer(kVideoOnly);
  send(answer.substr(0, answer.size() - 1));  // one byte short: wait
  platform::sleepMs(300);
  EXPECT_EQ(session->state(), InterleavedRtspSession::kDescribe);
  send(answer.substr(answer.size() - 1));
  EXPECT_TRUE(eventually([&] { return session->state() == InterleavedRtspSession::kSetupVideo; }));
}

TEST_F(DialogueTest, ErrorAnswersMoveTheDialogueOnAndHeaderNamesMatchInAnyCase) {
  start();
  request();
  send(describeAnswer(kVideoOnly, 0, "content-base: rtsp://cam/other/\r\n"));
  EXPECT_EQ(request().substr(0, 40), "SETUP rtsp://cam/other/trackID=1 RTSP/1.");
  send("RTSP/1.0 454 Session Not Found\r\nCSeq: 1\r\nsession: 99\r\n\r\n");
  EXPECT_NE(request().find("Session: 99\r\n"), std::string::npos);
}

TEST_F(DialogueTest, TheJpegMemberBuildsItsUrlsFromHostAndPathAndTakesAbsoluteControls) {
  start(kJpegInterleavedPolicy);
  request();
  send(describeAnswer(
      "v=0\r\nm=video 0 RTP/AVP 26\r\na=control:rtsp://cam:554/jpeg/track1\r\n"));
  EXPECT_EQ(request().substr(0, 48), "SETUP rtsp://cam:554/jpeg/track1 RTSP/1.0\r\nCSeq:");
  send(okAnswer(1));
  EXPECT_EQ(request().substr(0, 37), "PLAY rtsp://127.0.0.1/h264 RTSP/1.0\r\n");
}

TEST_F(DialogueTest, RtcpIsAnsweredWithOneReceiverReportFrameOnItsChannel) {
  start();
  request();
  send(describeAnswer(kVideoOnly));
  request();
  send(okAnswer(1));
  request();
  const std::string senderReport("\x80\xC8\x00\x06\xCA\xFE\xBA\xBE\x00\x00\x12\x34\x56\x78\x00\x00"
                                 "\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x02", 28);
  send(okAnswer(2) + "junk" + interleaved(1, senderReport + "x"));
  ASSERT_TRUE(server.peer.receiveUntil([&](const std::string& r) { return r.size() >= server.peer.taken() + 56; }));
  const std::string all = server.peer.received().substr(server.peer.taken());
  ASSERT_GE(all.size(), 56u);
  EXPECT_EQ(all.substr(0, 4), std::string("$\x01\x00\x34", 4));
  EXPECT_EQ(uint8_t(all[5]), 201);                    // RR
  EXPECT_EQ(all.substr(12, 4), "\xCA\xFE\xBA\xBE");   // the source from the SR
  EXPECT_EQ(uint8_t(all[4 + 16 + 3]), 7);             // extended highest sequence low byte
}

}  // namespace
}  // namespace vexa
