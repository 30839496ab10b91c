#include "camera/RtspSession.h"

#include <gtest/gtest.h>

#include "camera/ConnectionEnds.h"
#include "common/TextFields.h"

namespace vexa::camera {
namespace {

std::string tcp(const std::string& channels) {
  return "Transport: RTP/AVP/TCP;unicast;interleaved=" + channels + "\r\n";
}

// One connection's requests in order, each with the status it must get and its CSeq echoed.
TEST(RtspSession, AnswersEveryRequestWithItsStatus) {
  RtspServerOptions options;
  options.width = 64;
  options.height = 48;
  options.fps = 10;
  const std::vector<StreamDefinition> streams = defineStreams(options, 1);
  RtspCounters counters;
  RtspSession session(options, streams, counters);
  const auto now = RtspSession::Clock::now();
  const std::string kOwn = "Session: *\r\n";  // * stands for the first session's id
  const struct {
    std::string line, extra;
    int status;
  } steps[] = {
      {"OPTIONS *", "", 200},
      {"DESCRIBE rtsp://h/mpeg4", "", 404},
      {"SETUP rtsp://h/h264/trackID=3", tcp("0-1"), 404},
      {"SETUP rtsp://h/h264/trackID=1", "Transport: RTP/AVP;unicast;client_port=6100-6101\r\n",
       461},
      {"SETUP rtsp://h/h264/trackID=1", tcp("9-9"), 400},
      {"SETUP rtsp://h/h264/trackID=1", tcp("0-1") + "Session: 1234\r\n", 454},
      {"PLAY rtsp://h/h264/", "", 454},
      {"PAUSE rtsp://h/h264/", "", 405},
      {"BREW rtsp://h/h264/", "", 501},
      {"SETUP rtsp://h/h264/trackID=1", tcp("0-1"), 200},
      // Audio joins without a Session header, or with the time-out the viewer echoes.
      {"SETUP rtsp://h/h264/trackID=2", tcp("2-3"), 200},
      {"SETUP rtsp://h/h264/trackID=2", tcp("2-3") + "Session: *;timeout=60\r\n", 200},
      {"SETUP rtsp://h/jpeg/trackID=1", tcp("0-1"), 455},  // one stream a session
      {"SETUP rtsp://h/h264/trackID=2", tcp("0-1"), 400},  // video's channels
      {"PLAY rtsp://h/jpeg", kOwn, 455},
      {"PLAY rtsp://h/h264/", "Session: 1234\r\n", 454},
      {"GET_PARAMETER rtsp://h/h264/", kOwn, 200},
      {"PLAY rtsp://h/h264/", kOwn, 200},
      {"SETUP rtsp://h/h264/trackID=1", tcp("0-1"), 455},
      {"TEARDOWN rtsp://h/h264/", "Session: 1234\r\n", 454},
      {"TEARDOWN rtsp://h/h264/", kOwn, 200},
      {"PLAY rtsp://h/h264/", kOwn, 454},
      {"SETUP rtsp://h/jpeg/trackID=1", tcp("0-1"), 200},  // a new session may follow
  };
  std::string id;  // the first session's
  for (const auto& step : steps) {
    std::string extra = step.extra;
    if (const size_t star = extra.find('*'); star != std::string::npos) extra.replace(star, 1, id);
    const std::string answer =
        session.answer(step.line + " RTSP/1.0\r\nCSeq: 5\r\n" + extra + "\r\n", now);
    EXPECT_EQ(parseLeadingInteger(std::string_view(answer).substr(9)), step.status) << step.line;
    EXPECT_NE(answer.find("\r\nCSeq: 5\r\n"), std::string::npos) << step.line;
    if (id.empty()) id = session.sessionId();
  }
  EXPECT_FALSE(session.sessionId().empty());
  EXPECT_NE(session.sessionId(), id);
  EXPECT_EQ(session.answer("GET / HTTP/1.1\r\nCSeq: 1\r\n\r\n", now).rfind("RTSP/1.0 505 ", 0), 0u);
  EXPECT_EQ(session.answer("OPTIONS * RTSP/1.0\r\n\r\n", now).rfind("RTSP/1.0 400 ", 0), 0u);
  EXPECT_EQ(session.answer("garbage\r\n\r\n", now).rfind("RTSP/1.0 400 ", 0), 0u);

  options.width = 100;  // not a multiple of 8: RTP/JPEG cannot carry it
  const std::vector<StreamDefinition> odd = defineStreams(options, 1);
  RtspSession oddSession(options, odd, counters);
  EXPECT_EQ(oddSession.answer("DESCRIBE rtsp://h/jpeg RTSP/1.0\r\nCSeq: 1\r\n\r\n", now)
                .rfind("RTSP/1.0 415 ", 0),
            0u);
}

// The first transport of the header that the camera serves wins; one it cannot serve is passed
// over, and a header with none gets 461 whatever it holds.
TEST(RtspSession, ChoosesTheFirstTransportItServes) {
  RtspServerOptions options;
  options.width = 64;
  options.height = 48;
  const std::vector<StreamDefinition> streams = defineStreams(options, 1);
  RtspCounters counters;
  constexpr uint32_t kLoopback = 0x7F000001;
  RtspSession session(options, streams, counters,
                      ConnectionEnds{Endpoint::ipv4(kLoopback, 554), Endpoint::ipv4(kLoopback, 0)});
  const auto now = RtspSession::Clock::now();
  const struct {
    std::string transport;
    int status;
    std::string answer;  // how the Transport answer starts
  } cases[] = {
      {"", 461, ""},
      {"RTP/AVP;unicast", 461, ""},
      {"RTP/AVP;unicast;client_port=abc-def", 461, ""},
      {"RTP/AVP;unicast;client_port=0-1", 461, ""},
      {"RTP/AVP;unicast;client_port=70000-70001", 461, ""},
      {"RTP/AVP;unicast;client_port=5000-5000", 461, ""},
      {"RTP/AVP;unicast;client_port=5000-5001-", 461, ""},
      {"RTP/AVP;unicast;client_port=65535", 461, ""},
      {"RTP/AVP;multicast;client_port=5000-5001", 461, ""},
      {"RTP/SAVP;unicast;client_port=5000-5001", 461, ""},
      {"RTP/AVP;multicast, RTP/AVP;unicast;client_port=5000", 200,
       "RTP/AVP;unicast;client_port=5000-5001;server_port="},
      {"rtp/avp/udp;UNICAST;Client_Port=6100-6101", 200,
       "RTP/AVP;unicast;client_port=6100-6101;server_port="},
      {"RTP/AVP;unicast;client_port=x, RTP/AVP/TCP;interleaved=4-5", 200,
       "RTP/AVP/TCP;unicast;interleaved=4-5;ssrc="},
      {"RTP/AVP/TCP;interleaved=4-5, RTP/AVP;unicast;client_port=5000-5001", 200,
       "RTP/AVP/TCP;unicast;interleaved=4-5;ssrc="},
  };
  for (const auto& c : cases) {
    const std::string answer = session.answer(
        "SETUP rtsp://h/h264/trackID=1 RTSP/1.0\r\nCSeq: 2\r\n"
        "Transport: " +
            c.transport + "\r\n\r\n",
        now);
    EXPECT_EQ(parseLeadingInteger(std::string_view(answer).substr(9)), c.status) << c.transport;
    if (c.status != 200) continue;
    const std::string transport =
        std::string(trimBlanks(extractField(answer, "\r\nTransport:", ':', '\r')));
    EXPECT_EQ(transport.rfind(c.answer, 0), 0u) << transport;
  }
}

}  // namespace
}  // namespace vexa::camera
