#include "protocol/rtsp/MulticastTransport.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/rtsp/RtspRequests.h"

namespace vexa::rtsp {
namespace {

TEST(MulticastTransport, SetupAsksForMulticastWithTheExtraLineLast) {
  EXPECT_EQ(multicastSetupRequest("rtsp://10.0.0.5/h264/trackID=1", 2, "X: y"),
            "SETUP rtsp://10.0.0.5/h264/trackID=1 RTSP/1.0\r\nCSeq: 2\r\n"
            "Transport: RTP/AVP;multicast\r\nUser-Agent: Halvorin V.2008-02-25\r\nX: y\r\n\r\n");
}

// "group rtp-rtcp ttl", or "none".
std::string text(const std::optional<MulticastTransport>& t) {
  if (!t) return "none";
  return t->group + " " + std::to_string(t->rtpPort) + "-" + std::to_string(t->rtcpPort) + " " +
         (t->ttl ? std::to_string(*t->ttl) : "-");
}

TEST(MulticastTransport, ReadsGroupPortsAndTtlAndRefusesWhatCannotBeJoined) {
  const struct {
    std::string_view value, expected;
  } cases[] = {
      {"RTP/AVP;multicast;destination=239.255.12.1;port=5000-5001;ttl=1",
       "239.255.12.1 5000-5001 1"},
      {"RTP/AVP/UDP; Multicast; TTL=16; Port=5002; Destination=224.2.0.1",
       "224.2.0.1 5002-5003 16"},
      {"RTP/AVP/TCP;interleaved=0-1,RTP/AVP;unicast;client_port=6100-6101,"
       "RTP/AVP;multicast;destination=239.0.0.1;port=6000-6001",
       "239.0.0.1 6000-6001 -"},
      {"RTP/AVP;multicast;port=5000-5001", "none"},                    // no group
      {"RTP/AVP;multicast;destination=10.0.0.5;port=5000", "none"},    // not a group
      {"RTP/AVP;multicast;destination=239.0.0.1", "none"},             // no ports
      {"RTP/AVP;multicast;destination=239.0.0.1;port=65535", "none"},  // no room for RTCP
      {"RTP/AVP;multicast;destination=239.0.0.1;port=70000-70001", "none"},
      {"RTP/AVP;multicast;destination=239.0.0.1;port=0-1", "none"},
      {"RTP/AVP;multicast;destination=239.0.0.1;port=5000;ttl=256", "none"},
      {"RTP/AVP;unicast;destination=239.0.0.1;port=5000", "none"},
      {"RTP/AVP/TCP;multicast;destination=239.0.0.1;port=5000", "none"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(text(readMulticastTransport(c.value)), c.expected) << c.value;
}

}  // namespace
}  // namespace vexa::rtsp
