#include "camera/HttpTunnel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/RtspServer.h"
#include "common/Base64.h"
#include "support/Loopback.h"

namespace vexa::camera {
namespace {

using test::LoopbackConnection;

// Each case is also fed split at every byte: a read may end anywhere in a text.
TEST(HttpTunnel, DecodesBase64TextsAsOneStream) {
  const struct {
    std::vector<std::string> texts;
    std::string decoded;
  } cases[] = {
      {{"REVTQw==", "U0VU"}, "DESCSET"},     // padded, then a text of whole groups
      {{"QQ==", "QUI=", "QUJD"}, "AABABC"},  // one, two and no padding characters
      {{"QQ=", "QUI="}, "AAB"},              // padding cut short still ends the group
      {{"UE\r\nxB\tWQ==", "\r\n"}, "PLAY"},  // line breaks and blanks are skipped
      {{"=Q===", "QUJD"}, "ABC"},            // stray padding and a lone character are noise
  };
  for (const auto& c : cases) {
    std::string whole;
    for (const std::string& text : c.texts) whole += text;
    for (size_t split = 0; split <= whole.size(); ++split) {
      Base64Stream stream;
      std::string out;
      stream.append(whole.substr(0, split), out);
      stream.append(whole.substr(split), out);
      EXPECT_EQ(out, c.decoded) << whole << " split at " << split;
    }
  }
}

constexpr std::string_view kOpenAnswer =
    "HTTP/1.0 200 OK\r\nContent-Type: application/x-rtsp-tunnelled\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";

std::string getRequest(std::string_view cookie, std::string_view extra = {}) {
  return "GET /h264 HTTP/1.0\r\nx-sessioncookie: " + std::string(cookie) +
         "\r\nAccept: application/x-rtsp-tunnelled\r\n" + std::string(extra) +
         "Pragma: no-cache\r\nCache-Control: no-cache\r\n\r\n";
}

std::string postRequest(std::string_view cookie, std::string_view extra = {}) {
  return "POST /h264 HTTP/1.0\r\nx-sessioncookie: " + std::string(cookie) +
         "\r\nContent-Type: application/x-rtsp-tunnelled\r\n" + std::string(extra) +
         "Content-Length: 32767\r\n\r\n";
}

std::string rtspRequest(std::string_view line, int cseq, std::string_view extra = {}) {
  return std::string(line) + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n" +
         std::string(extra) + "\r\n";
}

bool receiveHeader(LoopbackConnection& connection) {
  return connection.receiveUntil(
      [](const std::string& all) { return all.find("\r\n\r\n") != std::string::npos; });
}

bool receiveAfter(LoopbackConnection& connection, size_t from, std::string_view wanted) {
  return connection.receiveUntil(
      [&](const std::string& all) { return all.find(wanted, from) != std::string::npos; });
}

// The whole dialogue through the tunnel: answers and media come on the GET, requests and RTCP go
// Base64-encoded on the POST, stray bytes on the GET are dropped, and closing the GET ends all.
TEST(HttpTunnel, PlaysThroughTheTunnel) {
  RtspServer server({.width = 160, .height = 120});
  ASSERT_TRUE(server.start()) << server.lastError();
  const std::string url = "rtsp://127.0.0.1:" + std::to_string(server.port()) + "/h264";
  LoopbackConnection get(server.port()), post(server.port());
  ASSERT_TRUE(get.send(getRequest("c00k1e")));
  ASSERT_TRUE(receiveHeader(get));
  EXPECT_EQ(get.received(), kOpenAnswer);

  ASSERT_TRUE(post.send(postRequest("c00k1e") + base64::encode(rtspRequest("DESCRIBE " + url, 1))));
  ASSERT_TRUE(receiveAfter(get, 0, "a=control:trackID=1"));
  EXPECT_NE(get.received().find("RTSP/1.0 200 OK\r\nCSeq: 1\r\n"), std::string::npos);

  // One byte per write: the server must put the groups together across reads.
  const std::string setup = base64::encode(rtspRequest(
      "SETUP " + url + "/trackID=1", 2, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"));
  for (char c : setup) ASSERT_TRUE(post.send(std::string(1, c)));
  const size_t setupAt = get.received().size();
  ASSERT_TRUE(receiveAfter(get, setupAt, ";timeout="));
  const size_t idAt = get.received().find("Session: ", setupAt) + 9;
  const std::string session = get.received().substr(idAt, 8);

  const size_t playAt = get.received().size();
  ASSERT_TRUE(post.send(
      base64::encode(rtspRequest("PLAY " + url + "/", 3, "Session: " + session + "\r\n"))));
  ASSERT_TRUE(receiveAfter(get, playAt, "CSeq: 3\r\n"));
  const size_t mediaAt = get.received().find("\r\n\r\n", playAt);
  EXPECT_TRUE(receiveAfter(get, mediaAt, std::string("$\x00", 2)));  // RTP on channel 0

  const std::string rtcpOnGet("$\x01\x00\x08\x80\xc9\x00\x01\x12\x34\x56\x78", 12);
  ASSERT_TRUE(get.send(rtcpOnGet));
  ASSERT_TRUE(post.send(base64::encode(rtcpOnGet)));
  EXPECT_TRUE(test::eventually([&] { return server.postedFrames() == 1; }));
  EXPECT_TRUE(test::eventually([&] { return server.droppedGetBytes() == rtcpOnGet.size(); }));
  EXPECT_EQ(server.receiverReportsReceived(), 1u);
  EXPECT_GT(server.rtpPacketsSent(), 0u);

  get.close();
  EXPECT_TRUE(post.receiveUntilClosed());
  EXPECT_EQ(post.received(), "");
  EXPECT_TRUE(test::eventually([&] { return server.activeClients() == 0; }));
}

// Each request on a connection of its own while one tunnel stays open; the answer must start
// as given, and the connection close after it unless it opened a tunnel.
TEST(HttpTunnel, RefusesWhatCannotOpen) {
  RtspServer server({.width = 160, .height = 120, .user = "admin", .password = "pw"});
  ASSERT_TRUE(server.start()) << server.lastError();
  const std::string auth = "Authorization: Basic YWRtaW46cHc=\r\n";  // admin:pw
  LoopbackConnection held(server.port());
  ASSERT_TRUE(held.send(getRequest("held", auth)));
  ASSERT_TRUE(receiveHeader(held));
  ASSERT_EQ(held.received(), kOpenAnswer);

  const std::string k401 =
      "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"vexa-camera\"\r\n";
  const struct {
    std::string request, answer;
    bool stays = false;
  } cases[] = {
      {getRequest("other"), k401},
      {postRequest("held"), k401},
      {getRequest("other", "Authorization: Basic YWRtaW46eA==\r\n"), k401},  // admin:x
      {getRequest("other", auth), std::string(kOpenAnswer), true},
      {getRequest("held", auth), "HTTP/1.0 503 Service Unavailable\r\n"},
      {postRequest("unknown", auth), ""},
      {"GET /h264 HTTP/1.0\r\nAccept: application/x-rtsp-tunnelled\r\n\r\n",
       "HTTP/1.0 400 Bad Request\r\n"},
      {"GET /h264 HTTP/1.0\r\nx-sessioncookie: c\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n"},
  };
  for (const auto& c : cases) {
    LoopbackConnection client(server.port());
    ASSERT_TRUE(client.send(c.request));
    if (c.stays) {
      EXPECT_TRUE(receiveHeader(client)) << c.request;
    } else {
      EXPECT_TRUE(client.receiveUntilClosed()) << c.request;
    }
    EXPECT_TRUE(client.received().starts_with(c.answer)) << c.request << client.received();
    EXPECT_EQ(client.received().empty(), c.answer.empty()) << c.request;
  }
  // Requests inside the tunnel need credentials as on a plain connection.
  LoopbackConnection post(server.port());
  const std::string url = "rtsp://127.0.0.1:" + std::to_string(server.port()) + "/h264";
  ASSERT_TRUE(
      post.send(postRequest("held", auth) + base64::encode(rtspRequest("DESCRIBE " + url, 1))));
  EXPECT_TRUE(receiveAfter(held, 0, "RTSP/1.0 401 Unauthorized\r\nCSeq: 1\r\n"));
}

bool installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Real clients play each stream through the tunnel, with and without credentials to give.
TEST(HttpTunnel, ClientsPlayThroughTheTunnel) {
  RtspServer open({.width = 160, .height = 120, .fps = 25});
  RtspServer guarded({.width = 160, .height = 120, .fps = 25, .user = "admin", .password = "pw"});
  ASSERT_TRUE(open.start()) << open.lastError();
  ASSERT_TRUE(guarded.start()) << guarded.lastError();
  const struct {
    std::string program, before, after;
  } clients[] = {
      {"ffmpeg", "ffmpeg -hide_banner -loglevel error -nostdin -rtsp_transport http -i rtsp://",
       " -frames:v 5 -f null -"},
      {"gst-launch-1.0", "gst-launch-1.0 -q rtspsrc location=rtsph://",
       " ! fakesink num-buffers=5"},
  };
  const struct {
    const RtspServer& server;
    std::string credentials, path;
  } streams[] = {{open, "", "h264"}, {open, "", "mpeg4"}, {guarded, "admin:pw@", "jpeg"}};
  int ran = 0;
  for (const auto& client : clients) {
    if (!installed(client.program)) continue;
    for (const auto& stream : streams) {
      // timeout ends a client that hangs, so that the test fails rather than stalls.
      const std::string command = "timeout 60 " + client.before + stream.credentials +
                                  "127.0.0.1:" + std::to_string(stream.server.port()) + "/" +
                                  stream.path + client.after + " 2>&1";
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
      ++ran;
    }
  }
  if (ran == 0) GTEST_SKIP() << "neither the ffmpeg command nor gst-launch-1.0 is installed";
  // The requests came through tunnels, not on plain connections.
  for (const RtspServer* server : {&open, &guarded}) {
    const auto log = server->requestLog();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [](const LoggedRequest& request) { return request.method == "POST"; }));
  }
}

}  // namespace
}  // namespace vexa::camera
