#include "protocol/http/HttpAnswerReader.h"

#include <gtest/gtest.h>

#include <string>

namespace vexa {
namespace {

using State = HttpAnswerReader::State;

struct Framing {
  const char* name;
  std::string wire;  // what the server sends
  bool closes;       // the server closes after it
  int code;
  std::string answer;  // what the reader gives
};

const std::string kLengthAnswer =
    "HTTP/1.1 200 OK\r\ncontent-LENGTH: 35\r\n\r\nzoomposition=789\r\nContent-Length: 9";

std::vector<Framing> framings() {
  return {
      {"length", kLengthAnswer, false, 200, kLengthAnswer},
      {"lf only, mixed", "HTTP/1.0 200 OK\nContent-Length: 4\r\n\nbody", false, 200,
       "HTTP/1.0 200 OK\nContent-Length: 4\r\n\nbody"},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;x=y\r\nhello\r\n"
       "0000000000000007\nContent\r\n0\r\nTrailer: t\r\n\r\n",
       false, 200, "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\nhelloContent"},
      // A length inside a value, not at a line start, is no length: the answer runs to the close.
      {"until close", "HTTP/1.0 401 No\nX-Note: Content-Length: 3\n\nabcdef", true, 401,
       "HTTP/1.0 401 No\nX-Note: Content-Length: 3\n\nabcdef"},
      {"negative length", "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nxyz", true, 200,
       "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nxyz"},
      {"no content", "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n", false, 204,
       "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n"},
      {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, 200,
       "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
  };
}

TEST(HttpAnswerReader, EveryFramingCompletesWhereverTheReadsSplit) {
  for (const Framing& framing : framings()) {
    for (size_t split = 0; split <= framing.wire.size(); ++split) {
      SCOPED_TRACE(std::string(framing.name) + " split at " + std::to_string(split));
      HttpAnswerReader reader;
      State state = reader.feed(framing.wire.substr(0, split));
      if (split < framing.wire.size()) {
        ASSERT_EQ(state, State::kIncomplete);
        state = reader.feed(framing.wire.substr(split));
      }
      if (framing.closes) {
        EXPECT_EQ(state, State::kIncomplete);
        state = reader.close();
      }
      ASSERT_EQ(state, State::kComplete);
      EXPECT_EQ(reader.statusCode(), framing.code);
      EXPECT_EQ(reader.answer(), framing.answer);
    }
  }
}

TEST(HttpAnswerReader, FailsOnBrokenOrOversizedAnswers) {
  const std::string big = std::to_string(HttpAnswerReader::kMaxAnswerBytes);
  const struct {
    const char* name;
    std::string wire;
  } cases[] = {
      {"length beyond cap", "HTTP/1.1 200 OK\r\nContent-Length: " + big + "\r\n\r\n"},
      {"head beyond cap",
       "HTTP/1.1 200 OK\r\n" + std::string(HttpAnswerReader::kMaxHeadBytes, 'x')},
      {"chunk size too long",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
       "00000000000000001\r\n"},
      {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
      {"chunk beyond cap",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string("FFFFFFFF") + "\r\n"},
      {"chunk without end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpAnswerReader reader;
    EXPECT_EQ(reader.feed(c.wire), State::kFailed);
    EXPECT_EQ(reader.feed("HTTP/1.1 200 OK\r\n\r\n"), State::kFailed);
  }
  HttpAnswerReader reader;
  reader.feed("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab");
  EXPECT_EQ(reader.close(), State::kFailed) << "cut short by the close";
  reader.reset();
  reader.feed(std::string(HttpAnswerReader::kMaxAnswerBytes, 'a'));
  EXPECT_EQ(reader.feed("a"), State::kFailed);
}

}  // namespace
}  // namespace vexa
