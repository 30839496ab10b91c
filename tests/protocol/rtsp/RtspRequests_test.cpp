#include "protocol/rtsp/RtspRequests.h"

#include <gtest/gtest.h>

namespace vexa::rtsp {
namespace {

TEST(RtspRequests, AreTheInterleavedDialoguesBytesExactly) {
  EXPECT_EQ(describeRequest("rtsp://10.0.0.5/h264", 0),
            "DESCRIBE rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
            "CSeq: 0\r\n"
            "Accept: application/sdp\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\n"
            "\r\n");
  EXPECT_EQ(interleavedSetupRequest("rtsp://10.0.0.5/h264/trackID=1", 1, kVideoChannel),
            "SETUP rtsp://10.0.0.5/h264/trackID=1 RTSP/1.0\r\n"
            "CSeq: 1\r\n"
            "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\n"
            "\r\n");
  EXPECT_EQ(interleavedSetupRequest("rtsp://10.0.0.5/h264/trackID=2", 2, kAudioChannel),
            "SETUP rtsp://10.0.0.5/h264/trackID=2 RTSP/1.0\r\n"
            "CSeq: 2\r\n"
            "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\n"
            "\r\n");
  EXPECT_EQ(playRequest("rtsp://10.0.0.5/h264", 3, "1234"),
            "PLAY rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
            "CSeq: 3\r\n"
            "Session: 1234\r\n"
            "Range: npt=0.000-\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\n"
            "\r\n");
  // Without a session there is no Session line at all.
  EXPECT_EQ(teardownRequest("rtsp://10.0.0.5/h264", 1, ""),
            "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
            "CSeq: 1\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\n"
            "\r\n");
}

TEST(RtspRequests, AreTheUdpDialoguesBytesExactlyWithTheExtraLineLast) {
  for (const std::string extra : {"", "X-Client: lobby"}) {
    const std::string x = extra.empty() ? "" : "\r\n" + extra;
    EXPECT_EQ(describeRequest("rtsp://10.0.0.5/h264", 0, extra),
              "DESCRIBE rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 0\r\n"
              "Accept: application/sdp\r\n"
              "User-Agent: Halvorin V.2008-02-25" + x + "\r\n"
              "\r\n");
    EXPECT_EQ(udpSetupRequest("rtsp://10.0.0.5/h264/trackID=1", 1, 6100, 6101, extra),
              "SETUP rtsp://10.0.0.5/h264/trackID=1 RTSP/1.0\r\n"
              "CSeq: 1\r\n"
              "Transport: RTP/AVP;unicast;client_port=6100-6101\r\n"
              "User-Agent: Halvorin V.2008-02-25" + x + "\r\n"
              "\r\n");
    EXPECT_EQ(udpPlayRequest("rtsp://10.0.0.5/h264", 2, "77AB", extra),
              "PLAY rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 2\r\n"
              "Range: npt=0.000-\r\n"
              "Session: 77AB" + x + "\r\n"
              "\r\n");
    EXPECT_EQ(udpTeardownRequest("rtsp://10.0.0.5/h264", 3, "77AB", extra),
              "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 3\r\n"
              "Session: 77AB" + x + "\r\n"
              "\r\n");
    EXPECT_EQ(udpTeardownRequest("rtsp://10.0.0.5/h264", 3, "", extra),
              "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 3" + x + "\r\n"
              "\r\n");
    EXPECT_EQ(keepAliveRequest(kGetParameter, "rtsp://10.0.0.5/h264", 4, "77AB", extra),
              "GET_PARAMETER rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 4\r\n"
              "Session: 77AB\r\n"
              "User-Agent: Halvorin V.2008-02-25" + x + "\r\n"
              "\r\n");
  }
}

TEST(RtspRequests, StreamUrlsNameThePortUnlessItIsRtspsOwnAndBracketIpv6Hosts) {
  EXPECT_EQ(streamUrl("10.0.0.5", 554, "/h264"), "rtsp://10.0.0.5/h264");
  EXPECT_EQ(streamUrl("10.0.0.5", 8554, "/h264"), "rtsp://10.0.0.5:8554/h264");
  EXPECT_EQ(streamUrl("::1", 8554, "/h264"), "rtsp://[::1]:8554/h264");
  EXPECT_EQ(streamUrl("camera.local", 554, "/"), "rtsp://camera.local/");
  const RequestUrls urls{.stream = streamUrl("::1", 554, "/h264"), .contentBase = {}};
  EXPECT_EQ(urls.control("trackID=1"), "rtsp://[::1]/h264/trackID=1");
}

}  // namespace
}  // namespace vexa::rtsp
