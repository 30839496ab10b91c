#include "protocol/rtsp/RtspHeaders.h"

#include <gtest/gtest.h>

#include <tuple>

#include "protocol/rtsp/SessionDescription.h"

namespace vexa {
namespace {

const std::string kDescription = "v=0\r\nm=video 0 RTP/AVP 96\r\na=control:trackID=1\r\n";

// The head's lines end in headEnd, the description's in bodyEnd.
std::string describeAnswer(const std::string& headEnd, const std::string& bodyEnd) {
  std::string body = kDescription;
  for (size_t at = 0; (at = body.find("\r\n", at)) != std::string::npos; at += bodyEnd.size()) {
    body.replace(at, 2, bodyEnd);
  }
  return "RTSP/1.0 200 OK" + headEnd + "cseq: 4" + headEnd + "Content-Base: rtsp://cam/h264/" +
         headEnd + "Content-Length: " + std::to_string(body.size()) + headEnd + headEnd + body;
}

TEST(RtspAnswer, IsReadTheSameWhateverItsLineEndsAndOnlyOnceWhole) {
  const std::pair<std::string, std::string> lineEnds[] = {{"\r\n", "\r\n"}, {"\n", "\n"}, {"\r\n", "\n"}};
  for (const auto& [headEnd, bodyEnd] : lineEnds) {
    const std::string text = describeAnswer(headEnd, bodyEnd) + "RTSP/1.0 200";  // the next answer's start
    const size_t whole = text.size() - 12;
    for (size_t cut = 0; cut < whole; ++cut) {
      ASSERT_FALSE(readRtspAnswer(text.substr(0, cut))) << "cut at " << cut;
    }
    const std::optional<RtspAnswer> answer = readRtspAnswer(text);
    ASSERT_TRUE(answer);
    EXPECT_EQ(std::tuple(answer->length, answer->statusCode, answer->statusLine, answer->cseq),
              std::tuple(whole, 200, "RTSP/1.0 200 OK", 4u));
    // The description gives the same tracks as written with CR LF.
    StreamConfig config;
    const SessionDescription description = readSessionDescription(answer->text(), config, {});
    EXPECT_EQ(description.videoControl, "trackID=1");
    EXPECT_EQ(readContentBase(answer->head), "rtsp://cam/h264/");
  }
}

TEST(RtspAnswer, StatusCodesAndTheirAbsence) {
  const std::pair<const char*, int> cases[] = {
      {"RTSP/1.0 401 Unauthorized\r\n\r\n", 401}, {"HTTP/1.1 404 Not Found\r\n\r\n", 404},
      {"RTSP/1.0 2x0 OK\r\n\r\n", 0},            {"ICY 200 OK\r\n\r\n", 0},
      {"RTSP/1.0\r\nCSeq: 1\r\n\r\n", 0}};
  for (const auto& [text, code] : cases) EXPECT_EQ(readRtspAnswer(text)->statusCode, code) << text;
  EXPECT_TRUE(mayBeginAnswer("RTS"));
  EXPECT_TRUE(mayBeginAnswer("HTTP/1.1"));
  EXPECT_FALSE(mayBeginAnswer("RTSX/"));
}

// A length no answer has is refused as soon as the head is there, rather than waited for.
TEST(RtspAnswer, RefusesBodiesNoAnswerHas) {
  for (const char* length : {"99999999999999999999", "-5", "abc", "262145", ""}) {
    const std::string head = std::string("RTSP/1.0 200 OK\r\nContent-Length: ") + length + "\r\n\r\n";
    const std::optional<RtspAnswer> answer = readRtspAnswer(head + "body");
    ASSERT_TRUE(answer) << length;
    EXPECT_TRUE(answer->refused) << length;
    EXPECT_EQ(answer->length, head.size());
  }
  EXPECT_FALSE(readRtspAnswer("RTSP/1.0 200 OK\r\nContent-Length: 262144\r\n\r\nbody"));
}

TEST(SessionHeader, IsTheIdAloneWithItsTimeOut) {
  const struct {
    const char* head;
    const char* id;
    std::optional<uint32_t> timeout;
  } cases[] = {
      {"RTSP/1.0 200 OK\r\nSession: 2c8e\r\n", "2c8e", std::nullopt},
      {"RTSP/1.0 200 OK\r\nSession: 2c8e;timeout=60\r\n", "2c8e", 60},
      {"RTSP/1.0 200 OK\r\nsession:  2c8e ; Timeout = 6 ;x=1\r\n", "2c8e", 6},
      {"RTSP/1.0 200 OK\r\nSession: 2c8e;timeout=abc\r\n", "2c8e", std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<SessionHeader> session = readSessionHeader(c.head);
    ASSERT_TRUE(session) << c.head;
    EXPECT_EQ(session->id, c.id) << c.head;
    EXPECT_EQ(session->timeoutSeconds, c.timeout) << c.head;
  }
  EXPECT_FALSE(readSessionHeader("RTSP/1.0 454 Session Not Found\r\n"));
  EXPECT_FALSE(readSessionHeader("RTSP/1.0 200 OK\r\nSession: ;timeout=5\r\n"));
}

}  // namespace
}  // namespace vexa
