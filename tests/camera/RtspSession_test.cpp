#include "camera/RtspSession.h"

#include <gtest/gtest.h>

#include "common/TextFields.h"

namespace vexa::camera {
namespace {

// What a server shares between its connections, for sessions made by hand.
struct Camera {
  Camera() {
    options.width = 64;
    options.height = 48;
    streams = defineStreams(options, 1);
  }
  RtspServerOptions options;
  std::vector<StreamDefinition> streams;
  RtspCounters counters;
  ServerAuthenticator auth{{options.user, options.password, options.auth}};
  RequestLog log;
  RtspShared shared{options, streams, counters, auth, log};
};

int statusOf(const std::string& answer) {
  return int(parseLeadingInteger(std::string_view(answer).substr(9)));
}

std::string tcp(const std::string& channels) {
  return "Transport: RTP/AVP/TCP;unicast;interleaved=" + channels + "\r\n";
}

// One connection's requests in order, each with the status it must get and its CSeq echoed;
// every request logged.
TEST(RtspSession, AnswersEveryRequestWithItsStatus) {
  Camera camera;
  RtspSession session(camera.shared, 7);
  const auto now = RtspSession::Clock::now();
  const std::string kOwn = "Session: *\r\n";  // * stands for the first session's id
  const struct {
    std::string line, extra;
    int status;
  } steps[] = {
      {"OPTIONS *", "", 200},
      {"DESCRIBE rtsp://h/mpeg2", "", 404},
      {"SETUP rtsp://h/h264/trackID=3", tcp("0-1"), 404},
      {"SETUP rtsp://h/h264/trackID=1", "Transport: RTP/AVP;unicast;client_port=6100-6101\r\n",
       461},  // no UDP without the connection's ends
      {"SETUP rtsp://h/h264/trackID=1", tcp("9-9"), 400},
      {"SETUP rtsp://h/h264/trackID=1", tcp("0-1") + "Session: 1234\r\n", 454},
      {"PAUSE rtsp://h/h264/", "", 405},
      {"BREW rtsp://h/h264/", "", 501},
      {"SETUP rtsp://h/h264/trackID=1", tcp("0-1"), 200},
      {"SETUP rtsp://h/h264/trackID=2", tcp("2-3"), 200},  // audio joins without a Session
      // The id exactly, without the time-out the answer added to it.
      {"SETUP rtsp://h/h264/trackID=2", tcp("2-3") + "Session: *;timeout=60\r\n", 454},
      {"SETUP rtsp://h/jpeg/trackID=1", tcp("0-1"), 455},  // one stream a session
      {"SETUP rtsp://h/h264/trackID=2", tcp("0-1"), 400},  // video's channels
      {"PLAY rtsp://h/jpeg", kOwn, 455},
      {"GET_PARAMETER rtsp://h/h264/", "Session:  * \r\n", 200},
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
    EXPECT_EQ(statusOf(answer), step.status) << step.line << " " << extra;
    EXPECT_NE(answer.find("\r\nCSeq: 5\r\n"), std::string::npos) << step.line;
    if (id.empty()) id = session.sessionId();
  }
  EXPECT_NE(session.sessionId(), id);
  EXPECT_EQ(session.answer("GET / HTTP/1.1\r\nCSeq: 1\r\n\r\n", now).rfind("RTSP/1.0 505 ", 0), 0u);
  const auto log = camera.log.entries();
  ASSERT_EQ(log.size(), std::size(steps) + 1);
  EXPECT_EQ(log[15], (LoggedRequest{7, "PLAY", "rtsp://h/h264/", "5", id, false}));
  EXPECT_EQ(RequestLog::line(log[15]), "vexa-camera: #7 PLAY rtsp://h/h264/ CSeq 5 Session " + id);
}

// A camera that places its multicast at SETUP tells each track its group and ports; one that
// does not refuses the transport.
TEST(RtspSession, AMulticastSetupIsToldTheGroupAndTheStreamsPorts) {
  const auto toGroup = [](const std::string& ports) {
    return "Transport: RTP/AVP;multicast;destination=239.1.2.3;port=" + ports + ";ttl=0\r\n";
  };
  const struct {
    bool multicastSetup;
    const char* target;
    std::string answer;  // the Transport line, or the status line's start
  } cases[] = {
      {false, "h264/trackID=1", "RTSP/1.0 461 "},
      {true, "h264/trackID=1", toGroup("20000-20001")},
      {true, "jpeg/trackID=1", toGroup("20004-20005")},
      {true, "jpeg/trackID=2", toGroup("20008-20009")},  // the sound after the last video
  };
  for (const auto& c : cases) {
    Camera camera;
    camera.options.multicastGroup = "239.1.2.3";
    camera.options.multicastPort = 20000;
    camera.options.multicastSetup = c.multicastSetup;
    RtspSession session(camera.shared, 1);
    const std::string answer = session.answer(
        "SETUP rtsp://h/" + std::string(c.target) +
            " RTSP/1.0\r\nCSeq: 2\r\nTransport: RTP/AVP;multicast\r\n\r\n",
        RtspSession::Clock::now());
    EXPECT_NE(answer.find(c.answer), std::string::npos) << c.target << ":\n" << answer;
    // Nothing goes to the group before PLAY.
    EXPECT_FALSE(session.playing());
  }
}

}  // namespace
}  // namespace vexa::camera
