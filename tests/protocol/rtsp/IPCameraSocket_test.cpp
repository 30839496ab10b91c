// The UDP models' RTSP dialogue against a scripted camera on loopback: exact requests, the final
// states, keep-alives while playing, and Stop's TEARDOWN from the site's thread. A refused
// transport falls back to the connection in tests/integration/RealServers_test.cpp.
#include "protocol/rtsp/IPCameraSocket.h"

#include <gtest/gtest.h>

#include <atomic>

#include "common/VideoModel.h"
#include "protocol/rtsp/ScriptedCamera.h"

namespace vexa {
namespace {

using test::describeAnswer;
using test::eventually;

std::string answer(int cseq, const std::string& headers = "Session: 77AB;timeout=60\r\n") {
  return test::answer(cseq, headers);
}

const std::string kVideo =
    "v=0\r\ns=x\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
    "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\na=control:trackID=1\r\n";
const std::string kAudio = "m=audio 5004 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n";
const std::string kUserAgent = test::kUserAgentLine.substr(0, test::kUserAgentLine.size() - 2);

struct UdpDialogueTest : ::testing::Test, test::ScriptedCamera {
  void start(const std::string& extraHeader = {}) {
    config.model = IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264;
    config.host = "127.0.0.1";
    config.path = "/h264";
    config.rtspPort = server.port();
    config.videoRtpPort = 6100, config.videoRtcpPort = 6101;
    config.audioRtpPort = 6105, config.audioRtcpPort = 6106;
    config.extraHeaderLine = extraHeader;
    socket.setConfig(&config);
    ASSERT_TRUE(socket.Play());
    ASSERT_TRUE(server.accept());
  }
  std::string failure() const { return causeOf(socket.status()); }
  // Runs the dialogue up to the PLAY request.
  void toPlay(const std::string& sdp) {
    request();
    send(describeAnswer(sdp));
    request();
    send(answer(1));
    if (sdp.find("m=audio") != std::string::npos && sdp.find("m=video") != std::string::npos) {
      request();
      send(answer(2));
    }
    request();
  }

  StreamConfig config;
  std::atomic<int> described{0};
  platform::ManualClock clock;
  IPCameraSocket socket{[this](const StreamConfig& filled) {
    if (filled.hasVideo && filled.sps[0] != 0) ++described;
  }, clock};
};

TEST_F(UdpDialogueTest, VideoOnlyAsksForTheSlotsPortsAndTearsDownWithTheNextCSeq) {
  start();
  EXPECT_EQ(request(), "DESCRIBE " + url() + " RTSP/1.0\r\nCSeq: 0\r\nAccept: application/sdp\r\n" +
                           kUserAgent + "\r\n\r\n");
  send(describeAnswer(kVideo));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=1 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP;unicast;client_port=6100-6101\r\n" + kUserAgent + "\r\n\r\n");
  EXPECT_EQ(described.load(), 1) << "the description reached the receivers before SETUP";
  send(answer(1));
  EXPECT_EQ(request(), "PLAY rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 2\r\nRange: npt=0.000-\r\n"
                       "Session: 77AB\r\n\r\n");
  send(answer(2));
  EXPECT_TRUE(eventually([&] { return socket.state() == IPCameraSocket::kPlaying; }));
  socket.Stop();
  EXPECT_EQ(request(), "TEARDOWN rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 3\r\nSession: 77AB\r\n\r\n");
  EXPECT_EQ(socket.state(), IPCameraSocket::kTornDown);
  EXPECT_EQ(config.cseq, 4u);
}

TEST_F(UdpDialogueTest, AudioOnlySetsUpTheAudioPortsFirstAndTheCodecIsPublished) {
  start();
  request();
  send(describeAnswer("v=0\r\ns=x\r\n" + kAudio));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=2 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP;unicast;client_port=6105-6106\r\n" + kUserAgent + "\r\n\r\n");
  EXPECT_EQ(socket.audioCodec(), kAudioCodecPcmu);
  // Without a video track the audio SETUP brings the session.
  send(answer(1));
  EXPECT_EQ(request(), "PLAY rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 2\r\nRange: npt=0.000-\r\nSession: 77AB\r\n\r\n");
}

TEST_F(UdpDialogueTest, TheExtraHeaderLineIsTheLastHeaderOfEveryRequest) {
  start("X-Lobby: 3");
  EXPECT_EQ(request(), "DESCRIBE " + url() + " RTSP/1.0\r\nCSeq: 0\r\nAccept: application/sdp\r\n" +
                           kUserAgent + "\r\nX-Lobby: 3\r\n\r\n");
  // Split across segments: the answer waits for its whole announced length.
  const std::string whole = describeAnswer(kVideo + kAudio);
  // (Read early, the cut audio control would ask for ".../trackI".)
  send(whole.substr(0, whole.size() - 5));
  send(whole.substr(whole.size() - 5));
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=1 RTSP/1.0\r\nCSeq: 1\r\n"
                       "Transport: RTP/AVP;unicast;client_port=6100-6101\r\n" + kUserAgent +
                       "\r\nX-Lobby: 3\r\n\r\n");
  send(answer(1));
  // The audio track joins the video's session.
  EXPECT_EQ(request(), "SETUP rtsp://cam/h264/trackID=2 RTSP/1.0\r\nCSeq: 2\r\nSession: 77AB\r\n"
                       "Transport: RTP/AVP;unicast;client_port=6105-6106\r\n" + kUserAgent +
                       "\r\nX-Lobby: 3\r\n\r\n");
  send(answer(2));
  EXPECT_EQ(request(), "PLAY rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 3\r\nRange: npt=0.000-\r\n"
                       "Session: 77AB\r\nX-Lobby: 3\r\n\r\n");
  socket.Stop();
  EXPECT_EQ(request(), "TEARDOWN rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 4\r\nSession: 77AB\r\nX-Lobby: 3\r\n\r\n");
}

TEST_F(UdpDialogueTest, ACameraThatNeverAnswersPlayStillGetsTheTeardown) {
  start();
  toPlay(kVideo);
  EXPECT_EQ(socket.state(), IPCameraSocket::kPlay);
  socket.Stop();
  EXPECT_EQ(request(), "TEARDOWN rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 3\r\nSession: 77AB\r\n\r\n");
  EXPECT_FALSE(socket.running());
}

TEST_F(UdpDialogueTest, WhilePlayingTheConnectionCarriesKeepAlivesUntilStop) {
  start();
  toPlay(kVideo);
  send(answer(2) + "RTSP/1.0 200 OK\r\nCSeq: 9\r\n\r\n");
  EXPECT_TRUE(eventually([&] { return socket.state() == IPCameraSocket::kPlaying; }));
  clock.advance(30000);  // half the session's time-out
  EXPECT_EQ(request(), "GET_PARAMETER rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 3\r\nSession: 77AB\r\n" +
                           kUserAgent + "\r\n\r\n");
  send(answer(3));
  socket.Stop();
  EXPECT_EQ(request(), "TEARDOWN rtsp://cam/h264/ RTSP/1.0\r\nCSeq: 4\r\nSession: 77AB\r\n\r\n");
}

TEST_F(UdpDialogueTest, ACameraClosingAfterPlayEndsTheWorkerAndNoTeardownIsSent) {
  start();
  toPlay(kVideo);
  send(answer(2));
  EXPECT_TRUE(eventually([&] { return socket.state() == IPCameraSocket::kPlaying; }));
  server.peer.close();
  EXPECT_TRUE(eventually([&] { return !socket.running(); }));
  // Nothing to send it on: Stop returns at once.
  socket.Stop();
  EXPECT_EQ(socket.state(), IPCameraSocket::kTornDown);
}

TEST_F(UdpDialogueTest, ADescriptionWithoutMediaEndsTheDialogue) {
  start();
  request();
  send(describeAnswer("v=0\r\ns=x\r\n"));
  EXPECT_TRUE(eventually([&] { return socket.state() == IPCameraSocket::kNoMedia; }));
  EXPECT_EQ(config.cseq, 1u);
  EXPECT_EQ(failure(), "no video or audio described");
}

TEST_F(UdpDialogueTest, ASetupAnswerWithoutSessionEndsTheDialogue) {
  start();
  request();
  send(describeAnswer(kVideo));
  request();
  send("RTSP/1.0 200 OK\r\nCSeq: 1\r\nX-Note: no session here\r\n\r\n");
  EXPECT_TRUE(eventually([&] { return socket.state() == IPCameraSocket::kNoSession; }));
  EXPECT_EQ(config.cseq, 2u) << "nothing more was asked";
}

}  // namespace
}  // namespace vexa
