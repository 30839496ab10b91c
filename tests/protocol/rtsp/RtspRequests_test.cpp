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
  // The stored session value brings its own blank and parameters.
  EXPECT_EQ(playRequest("rtsp://10.0.0.5/h264", 3, " 1234;timeout=60"),
            "PLAY rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
            "CSeq: 3\r\n"
            "Session: 1234;timeout=60\r\n"
            "Range: npt=0.000-\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\n"
            "\r\n");
  EXPECT_EQ(teardownRequest("rtsp://10.0.0.5/h264", 1, ""),
            "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
            "CSeq: 1\r\n"
            "Session:\r\n"
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
    // Two blanks after "Session:": the header's and the one kept from the answer.
    EXPECT_EQ(udpPlayRequest("rtsp://10.0.0.5/h264", 2, " 77AB", extra),
              "PLAY rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 2\r\n"
              "Range: npt=0.000-\r\n"
              "Session:  77AB" + x + "\r\n"
              "\r\n");
    EXPECT_EQ(udpTeardownRequest("rtsp://10.0.0.5/h264", 3, extra),
              "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\n"
              "CSeq: 3" + x + "\r\n"
              "\r\n");
  }
}

}  // namespace
}  // namespace vexa::rtsp
