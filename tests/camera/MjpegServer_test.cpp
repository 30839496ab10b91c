#include "camera/MjpegServer.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Loopback.h"

namespace vexa::camera {
namespace {

using test::LoopbackConnection;

constexpr std::string_view kRequest =
    "GET / HTTP/1.1\r\nAccept: text/* image/jpeg audio/pcm\r\nUser-Agent: Oxbel2 Player\r\n";

// Each request on a connection of its own; the answer must start as given and the
// connection close after it.
struct Exchange {
  std::string request, answer;
};
void expectAnswers(const MjpegServer& server, std::initializer_list<Exchange> exchanges) {
  for (const Exchange& e : exchanges) {
    LoopbackConnection client(server.port());
    ASSERT_TRUE(client.send(e.request));
    ASSERT_TRUE(client.receiveUntilClosed()) << e.answer;
    EXPECT_EQ(client.received().substr(0, e.answer.size()), e.answer);
  }
}

TEST(MjpegServer, RefusesWhatItCannotServe) {
  MjpegServer server({.width = 160,
                      .height = 120,
                      .fps = 30,
                      .user = "admin",
                      .password = "s3cret:x",
                      .redirects = {{"old", "http://127.0.0.1:9/new"}}});
  ASSERT_TRUE(server.start()) << server.lastError();
  // A refused client gets the status line, no picture, and a closed connection.
  const std::string get(kRequest), k401 = "HTTP/1.1 401 Unauthorized\r\n";
  expectAnswers(server,
                {{get + "\r\n", k401 + "WWW-Authenticate: Basic realm=\"vexa-camera\"\r\n"},
                 {get + "Authorization: Basic YWRtaW46czNjcmV0\r\n\r\n", k401},  // admin:s3cret
                 {"NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
                 {"POST / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n"},
                 {"GET / HTTP/1.1\r\nX: " + std::string(MjpegServer::kMaxRequestHeaderBytes, 'a'),
                  "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
                 {"GET /old/x HTTP/1.1\r\n\r\n",
                  "HTTP/1.1 301 Moved Permanently\r\nLocation: http://127.0.0.1:9/new\r\n"}});
  EXPECT_EQ(server.authCounts(), (AuthCounts{2, 0, 0}));
  EXPECT_EQ(server.requestLog().back(), (LoggedRequest{6, "GET", "/old/x", "", "", false}));
}

// A fresh connection gets the same time as the first.
TEST(MjpegServer, DropsEveryConnectionAfterItsTime) {
  MjpegServer server({.width = 64, .height = 48, .dropAfterMs = 400});
  ASSERT_TRUE(server.start()) << server.lastError();
  for (uint64_t round = 1; round <= 2; ++round) {
    LoopbackConnection client(server.port());
    ASSERT_TRUE(client.send(std::string(kRequest) + "\r\n"));
    EXPECT_TRUE(client.receiveUntilClosed());
    EXPECT_EQ(client.received().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(server.droppedConnections(), round);
  }
}

TEST(MjpegServer, FramesCommandAnswersAsAsked) {
  const PtzAnswer position{200, "OK", {"pan=1.00", "zoomposition=7"}};
  const struct {
    CgiFraming framing;
    std::string answer;
  } cases[] = {
      {CgiFraming::Length,
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 26\r\n"
       "Connection: close\r\n\r\npan=1.00\r\nzoomposition=7\r\n"},
      {CgiFraming::LengthLower,
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\ncontent-length: 26\r\n"
       "Connection: close\r\n\r\npan=1.00\r\nzoomposition=7\r\n"},
      {CgiFraming::Chunked,
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n"
       "Connection: close\r\n\r\n1A\r\npan=1.00\r\nzoomposition=7\r\n\r\n0\r\n\r\n"},
      {CgiFraming::Close,
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n"
       "pan=1.00\r\nzoomposition=7\r\n"},
      {CgiFraming::LfOnly,
       "HTTP/1.1 200 OK\nContent-Type: text/plain\nContent-Length: 24\nConnection: close\n\n"
       "pan=1.00\nzoomposition=7\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MjpegServer::commandAnswer(position, c.framing), c.answer) << int(c.framing);
  }
  EXPECT_EQ(MjpegServer::commandAnswer({}, CgiFraming::Chunked),
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n"
            "Connection: close\r\n\r\n0\r\n\r\n");
}

TEST(MjpegServer, AnswersCommandsOnceAuthorised) {
  platform::ManualClock clock;
  PtzControl ptz(160, 120, &clock);
  MjpegServer server({.width = 160,
                      .height = 120,
                      .user = "admin",
                      .password = "pw",
                      .clock = &clock,
                      .ptz = &ptz});
  ASSERT_TRUE(server.start()) << server.lastError();
  const std::string command = "GET /cgi-bin/com/ptz.cgi?continuouspantiltmove=100,0 HTTP/1.1\r\n";
  expectAnswers(server,
                {{command + "\r\n", "HTTP/1.1 401 Unauthorized\r\n"},
                 {command + "Authorization: Basic YWRtaW46cHc=\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
                 {"GET /cgi-bin/com/ptz.cgi?continuouszoommove=500 HTTP/1.1\r\n"
                  "Authorization: Basic YWRtaW46cHc=\r\n\r\n",
                  "HTTP/1.1 400 Bad Request\r\n"}});
  clock.advance(1000);
  EXPECT_EQ(ptz.crop().x, 160 + 80);
}

}  // namespace
}  // namespace vexa::camera
