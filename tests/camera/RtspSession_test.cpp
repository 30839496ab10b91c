#include "camera/RtspSession.h"

#include <gtest/gtest.h>

#include <map>

#include "camera/RtspTestSupport.h"
#include "common/TextFields.h"

namespace vexa::camera {
namespace {

class RtspSessionTest : public ::testing::Test {
 protected:
  RtspSessionTest() {
    options_.width = 64;
    options_.height = 48;
    options_.fps = 10;
    streams_ = defineStreams(options_, 1);
  }

  // Status and header of the answer to "METHOD url RTSP/1.0" with CSeq 5 and the given lines.
  std::pair<int, std::string> ask(RtspSession& session, const std::string& line,
                                  const std::string& extra = {}) {
    const std::string answer =
        session.answer(line + " RTSP/1.0\r\nCSeq: 5\r\n" + extra + "\r\n", now_);
    return {int(parseLeadingInteger(std::string_view(answer).substr(9))), answer};
  }
  static std::string field(const std::string& answer, const std::string& name) {
    return std::string(trimBlanks(extractField(answer, "\r\n" + name + ":", ':', '\r')));
  }
  static std::string tcp(const std::string& channels) {
    return "Transport: RTP/AVP/TCP;unicast;interleaved=" + channels + "\r\n";
  }

  RtspServerOptions options_;
  std::vector<StreamDefinition> streams_;
  RtspCounters counters_;
  RtspSession::Clock::time_point now_ = RtspSession::Clock::now();
};

TEST_F(RtspSessionTest, EchoesCseqAndListsItsMethods) {
  RtspSession session(options_, streams_, counters_);
  const auto [status, answer] = ask(session, "OPTIONS *");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(field(answer, "CSeq"), "5");
  EXPECT_EQ(field(answer, "Public"), "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER");
}

TEST_F(RtspSessionTest, RefusesWhatItCannotServe) {
  RtspSession session(options_, streams_, counters_);
  const struct {
    std::string line, extra;
    int status;
  } cases[] = {
      {"DESCRIBE rtsp://h/mpeg4", "", 404},
      {"DESCRIBE rtsp://h/h264/trackID=1", "", 404},
      {"SETUP rtsp://h/h264/trackID=3", tcp("0-1"), 404},
      {"SETUP rtsp://h/h264/trackID=1", "Transport: RTP/AVP;unicast;client_port=6100-6101\r\n",
       461},
      {"SETUP rtsp://h/h264/trackID=1", tcp("9-9"), 400},
      {"SETUP rtsp://h/h264/trackID=1", tcp("0-1") + "Session: 1234\r\n", 454},
      {"PLAY rtsp://h/h264/", "", 454},
      {"PLAY rtsp://h/h264/", "Session: 1234\r\n", 454},
      {"TEARDOWN rtsp://h/h264/", "Session: 1234\r\n", 454},
      {"PAUSE rtsp://h/h264/", "", 405},
      {"RECORD rtsp://h/h264/", "", 405},
      {"BREW rtsp://h/h264/", "", 501},
  };
  for (const auto& c : cases) {
    const auto [status, answer] = ask(session, c.line, c.extra);
    EXPECT_EQ(status, c.status) << c.line;
    EXPECT_EQ(field(answer, "CSeq"), "5") << c.line;
  }
  EXPECT_NE(ask(session, "PAUSE rtsp://h/h264/").second.find("\r\nAllow: OPTIONS, DESCRIBE"),
            std::string::npos);
  EXPECT_EQ(session.answer("GET / HTTP/1.1\r\nCSeq: 1\r\n\r\n", now_).rfind("RTSP/1.0 505 ", 0),
            0u);
  EXPECT_EQ(session.answer("OPTIONS * RTSP/1.0\r\n\r\n", now_).rfind("RTSP/1.0 400 ", 0), 0u);
  EXPECT_EQ(session.answer("garbage\r\n\r\n", now_).rfind("RTSP/1.0 400 ", 0), 0u);
  EXPECT_TRUE(session.sessionId().empty());
}

TEST_F(RtspSessionTest, RefusesTheAudioTrackWhenThereIsNoAudio) {
  options_.audio = AudioCodec::None;
  streams_ = defineStreams(options_, 1);
  RtspSession session(options_, streams_, counters_);
  EXPECT_EQ(streams_[0].description.find("m=audio"), std::string::npos);
  EXPECT_EQ(ask(session, "SETUP rtsp://h/h264/trackID=2", tcp("2-3")).first, 404);
}

TEST_F(RtspSessionTest, AnswersSizesRtpJpegCannotCarryAsUnsupported) {
  options_.width = 100;  // not a multiple of 8
  streams_ = defineStreams(options_, 1);
  RtspSession session(options_, streams_, counters_);
  EXPECT_EQ(ask(session, "DESCRIBE rtsp://h/jpeg").first, 415);
  EXPECT_EQ(ask(session, "DESCRIBE rtsp://h/h264").first, 200);
}

TEST_F(RtspSessionTest, SetupJoinsTheConnectionsSessionAndKeepsToOneStream) {
  RtspSession session(options_, streams_, counters_);
  const auto video = ask(session, "SETUP rtsp://h/h264/trackID=1", tcp("0-1"));
  ASSERT_EQ(video.first, 200);
  const std::string id = session.sessionId();
  EXPECT_EQ(field(video.second, "Session"), id + ";timeout=60");
  // Without a Session header, and with one that carries the time-out as the viewer echoes it.
  EXPECT_EQ(ask(session, "SETUP rtsp://h/h264/trackID=2", tcp("2-3")).first, 200);
  EXPECT_EQ(ask(session, "SETUP rtsp://h/h264/trackID=2",
                tcp("2-3") + "Session: " + id + ";timeout=60\r\n")
                .first,
            200);
  EXPECT_EQ(session.sessionId(), id);
  EXPECT_EQ(ask(session, "SETUP rtsp://h/jpeg/trackID=1", tcp("0-1")).first, 455);
  EXPECT_EQ(ask(session, "SETUP rtsp://h/h264/trackID=2", tcp("0-1")).first, 400);  // video's
  EXPECT_EQ(ask(session, "PLAY rtsp://h/jpeg", "Session: " + id + "\r\n").first, 455);
  EXPECT_EQ(ask(session, "GET_PARAMETER rtsp://h/h264/", "Session: " + id + "\r\n").first, 200);
  EXPECT_EQ(ask(session, "PLAY rtsp://h/h264/", "Session:  " + id + ";timeout=60\r\n").first, 200);
  EXPECT_TRUE(session.playing());
  EXPECT_EQ(ask(session, "SETUP rtsp://h/h264/trackID=1", tcp("0-1")).first, 455);
  EXPECT_EQ(ask(session, "TEARDOWN rtsp://h/h264/", "Session: " + id + "\r\n").first, 200);
  EXPECT_FALSE(session.playing());
  EXPECT_TRUE(session.sessionId().empty());
  // A new session may follow on the same connection.
  EXPECT_EQ(ask(session, "SETUP rtsp://h/jpeg/trackID=1", tcp("0-1")).first, 200);
  EXPECT_NE(session.sessionId(), id);
}

TEST_F(RtspSessionTest, ChoosesChannelsWhenTheClientNamesNone) {
  RtspSession session(options_, streams_, counters_);
  const auto audio =
      ask(session, "SETUP rtsp://h/h264/trackID=2", "Transport: RTP/AVP/TCP;unicast\r\n");
  EXPECT_EQ(field(audio.second, "Transport").rfind("RTP/AVP/TCP;unicast;interleaved=2-3;ssrc=", 0),
            0u);
}

TEST_F(RtspSessionTest, PlayNamesTheFirstPacketsInRtpInfo) {
  RtspSession session(options_, streams_, counters_);
  ask(session, "SETUP rtsp://h/h264/trackID=1", tcp("0-1"));
  ask(session, "SETUP rtsp://h/h264/trackID=2", tcp("2-3"));
  const auto play = ask(session, "PLAY rtsp://h/h264/", "Session: " + session.sessionId() + "\r\n");
  ASSERT_EQ(play.first, 200);
  EXPECT_EQ(field(play.second, "Range"), "npt=0.000-");
  const std::string info = field(play.second, "RTP-Info");
  std::vector<uint8_t> out;
  session.produceDue(now_, out);
  std::map<uint8_t, test::ParsedRtp> first;
  for (size_t at = 0; at + 4 <= out.size();) {
    const size_t length = size_t(out[at + 2]) << 8 | out[at + 3];
    const std::vector<uint8_t> packet(out.begin() + std::ptrdiff_t(at + 4),
                                      out.begin() + std::ptrdiff_t(at + 4 + length));
    if (!first.count(out[at + 1]) && out[at + 1] % 2 == 0)
      first[out[at + 1]] = *test::parseRtp(packet);
    at += 4 + length;
  }
  ASSERT_EQ(first.size(), 2u);
  for (const auto& [channel, rtp] : first) {
    const std::string track = channel == 0 ? "rtsp://h/h264/trackID=1" : "rtsp://h/h264/trackID=2";
    EXPECT_NE(info.find("url=" + track + ";seq=" + std::to_string(rtp.sequence) +
                        ";rtptime=" + std::to_string(rtp.timestamp)),
              std::string::npos)
        << info;
  }
  EXPECT_GE(counters_.rtpPackets.load(), 3u);
  EXPECT_EQ(counters_.senderReports.load(), 2u);
}

}  // namespace
}  // namespace vexa::camera
