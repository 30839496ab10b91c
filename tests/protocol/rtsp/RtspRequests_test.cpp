#include "protocol/rtsp/RtspRequests.h"

#include <gtest/gtest.h>

namespace vexa::rtsp {
namespace {

// The dialogue tests pin every request they send; these are the ones they do not reach.
TEST(RtspRequests, TeardownsWithAndWithoutASessionAndKeepAlivesKeepTheExtraLineLast) {
  EXPECT_EQ(teardownRequest("rtsp://10.0.0.5/h264", 1, ""),
            "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\nCSeq: 1\r\nUser-Agent: Halvorin V.2008-02-25\r\n\r\n");
  EXPECT_EQ(udpTeardownRequest("rtsp://10.0.0.5/h264", 3, "", "X: y"),
            "TEARDOWN rtsp://10.0.0.5/h264 RTSP/1.0\r\nCSeq: 3\r\nX: y\r\n\r\n");
  EXPECT_EQ(keepAliveRequest(kOptions, "rtsp://10.0.0.5/h264", 4, "77AB", "X: y"),
            "OPTIONS rtsp://10.0.0.5/h264 RTSP/1.0\r\nCSeq: 4\r\nSession: 77AB\r\n"
            "User-Agent: Halvorin V.2008-02-25\r\nX: y\r\n\r\n");
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
