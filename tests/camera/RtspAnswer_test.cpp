#include "camera/RtspAnswer.h"

#include <gtest/gtest.h>

#include "camera/RtspTransport.h"

namespace vexa::camera {
namespace {

TEST(RtspAnswer, WritesStatusCseqHeadersAndBody) {
  EXPECT_EQ(rtspAnswer(RtspStatus::Ok, "3", "Session: 12\r\n", "application/sdp", "v=0\r\n"),
            "RTSP/1.0 200 OK\r\nCSeq: 3\r\nServer: vexa-camera\r\nSession: 12\r\n"
            "Content-Type: application/sdp\r\nContent-Length: 5\r\n\r\nv=0\r\n");
  EXPECT_EQ(rtspAnswer(RtspStatus::SessionNotFound, {}, {}),
            "RTSP/1.0 454 Session Not Found\r\nServer: vexa-camera\r\n\r\n");
}

TEST(RtspTarget, TakesStreamAndTrackFromTheUrlPath) {
  const struct {
    const char* url;
    const char* stream;
    const char* track;
  } cases[] = {
      {"rtsp://127.0.0.1:8554/h264", "h264", ""},
      {"rtsp://127.0.0.1/h264/", "h264", ""},
      {"rtsp://camera/h264/trackID=1", "h264", "trackID=1"},
      {"rtsp://camera/jpeg/trackID=2?x=1", "jpeg", "trackID=2"},
      {"rtsp://camera", "", ""},
      {"*", "", ""},
      {"/h264_2", "h264_2", ""},
  };
  for (const auto& c : cases) {
    const RtspTarget target = parseRtspTarget(c.url);
    EXPECT_EQ(target.stream, c.stream) << c.url;
    EXPECT_EQ(target.track, c.track) << c.url;
  }
}

TEST(RtspTransport, ChoosesTheInterleavedTransportAndItsChannels) {
  auto choice = chooseInterleavedTransport("RTP/AVP/TCP;unicast;interleaved=0-1");
  EXPECT_TRUE(choice.offered && choice.valid);
  ASSERT_TRUE(choice.channels);
  EXPECT_EQ(choice.channels->rtp, 0);
  EXPECT_EQ(choice.channels->rtcp, 1);

  choice = chooseInterleavedTransport(
      "RTP/AVP;unicast;client_port=6100-6101, rtp/avp/tcp;interleaved=4");
  ASSERT_TRUE(choice.channels);
  EXPECT_EQ(choice.channels->rtp, 4);
  EXPECT_EQ(choice.channels->rtcp, 5);

  choice = chooseInterleavedTransport("RTP/AVP/TCP;unicast");
  EXPECT_TRUE(choice.offered && choice.valid);
  EXPECT_FALSE(choice.channels);

  EXPECT_FALSE(chooseInterleavedTransport("RTP/AVP;unicast;client_port=6100-6101").offered);
  EXPECT_FALSE(chooseInterleavedTransport("").offered);
  for (const char* bad : {"interleaved=256-257", "interleaved=2-2", "interleaved=x",
                          "interleaved=255", "interleaved=1-"}) {
    choice = chooseInterleavedTransport(std::string("RTP/AVP/TCP;") + bad);
    EXPECT_TRUE(choice.offered) << bad;
    EXPECT_FALSE(choice.valid) << bad;
  }
}

}  // namespace
}  // namespace vexa::camera
