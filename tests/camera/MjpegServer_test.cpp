#include "camera/MjpegServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/CameraTestSupport.h"
#include "camera/JpegFrameTag.h"
#include "camera/PictureGenerator.h"
#include "common/Base64.h"

namespace vexa::camera {
namespace {

using testing::decodeJpeg;
using testing::isCompleteJpeg;
using testing::LoopbackClient;

constexpr std::string_view kRequest =
    "GET / HTTP/1.1\r\nAccept: text/* image/jpeg audio/pcm\r\nUser-Agent: Oxbel2 Player\r\n"
    "Cache-Control: no-cache\r\n";

// The stream as a strict reader sees it: the answer header, the first delimiter, then parts of
// "Content-Type", "Content-Length", empty line, picture, CR LF "--" boundary CR LF.
struct Stream {
  std::string error;
  std::vector<std::string> pictures;
};

Stream parseStream(const std::string& data, const std::string& boundary) {
  Stream stream;
  const std::string opening =
      "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + boundary +
      "\r\n\r\n--" + boundary + "\r\n";
  if (data.compare(0, opening.size(), opening) != 0) {
    if (data.size() >= opening.size()) stream.error = "bad answer header: " + data.substr(0, 200);
    return stream;
  }
  const std::string delimiter = "\r\n--" + boundary + "\r\n";
  const std::string typeLine = "Content-Type: image/jpeg\r\nContent-Length: ";
  size_t at = opening.size();
  while (at < data.size()) {
    const size_t headEnd = data.find("\r\n\r\n", at);
    if (headEnd == std::string::npos) break;
    if (data.compare(at, typeLine.size(), typeLine) != 0) {
      stream.error = "bad part header at " + std::to_string(at);
      return stream;
    }
    const std::string lengthText =
        data.substr(at + typeLine.size(), headEnd - at - typeLine.size());
    if (lengthText.empty() || lengthText.find_first_not_of("0123456789") != std::string::npos) {
      stream.error = "bad Content-Length '" + lengthText + "'";
      return stream;
    }
    const size_t picture = headEnd + 4;
    const size_t length = std::stoul(lengthText);
    if (data.size() < picture + length + delimiter.size()) break;
    if (data.compare(picture + length, delimiter.size(), delimiter) != 0) {
      stream.error = "no delimiter right after picture " + std::to_string(stream.pictures.size());
      return stream;
    }
    stream.pictures.push_back(data.substr(picture, length));
    at = picture + length + delimiter.size();
  }
  return stream;
}

std::string authorisation(const std::string& user, const std::string& password) {
  return "Authorization: Basic " + base64::encode(user + ":" + password) + "\r\n";
}

class MjpegServerTest : public ::testing::Test {
 protected:
  void startServer(MjpegServerOptions options = {}) {
    options.width = 160;
    options.height = 120;
    options.fps = 30;
    server_ = std::make_unique<MjpegServer>(options);
    ASSERT_TRUE(server_->start()) << server_->lastError();
    ASSERT_NE(server_->port(), 0);
  }

  // Sends the request and reads until `count` parts have arrived whole.
  Stream receivePictures(LoopbackClient& client, const std::string& extraHeaders, size_t count) {
    EXPECT_TRUE(client.connected());
    EXPECT_TRUE(client.send(std::string(kRequest) + extraHeaders + "\r\n"));
    const std::string& boundary = server_->options().boundary;
    client.receiveUntil([&](const std::string& data) {
      const Stream stream = parseStream(data, boundary);
      return !stream.error.empty() || stream.pictures.size() >= count;
    });
    return parseStream(client.received(), boundary);
  }

  std::unique_ptr<MjpegServer> server_;
};

TEST_F(MjpegServerTest, ServesPartsFramedForTheClient) {
  startServer();
  LoopbackClient client(server_->port());
  const Stream stream = receivePictures(client, "", 3);
  ASSERT_EQ(stream.error, "");
  ASSERT_GE(stream.pictures.size(), 3u);
  const PictureGenerator generator(160, 120);
  std::optional<uint32_t> previous;
  for (const std::string& picture : stream.pictures) {
    EXPECT_TRUE(isCompleteJpeg(picture));
    const std::vector<uint8_t> jpeg(picture.begin(), picture.end());
    const auto decoded = decodeJpeg(jpeg);
    const auto index = taggedFrameIndex(jpeg);
    ASSERT_TRUE(decoded && index);
    EXPECT_LT(testing::meanAbsoluteError(*decoded, generator.bgrFrame(*index)), 2.0);
    if (previous) {
      EXPECT_GT(*index, *previous);
    }
    previous = index;
  }
  EXPECT_GE(server_->picturesServed(), 3u);
}

TEST_F(MjpegServerTest, UsesTheConfiguredBoundary) {
  MjpegServerOptions options;
  options.boundary = "--myboundary";
  startServer(options);
  LoopbackClient client(server_->port());
  const Stream stream = receivePictures(client, "", 2);
  EXPECT_EQ(stream.error, "");
  EXPECT_GE(stream.pictures.size(), 2u);
}

TEST_F(MjpegServerTest, ServesSeveralClientsAtOnce) {
  startServer();
  LoopbackClient first(server_->port());
  LoopbackClient second(server_->port());
  const Stream a = receivePictures(first, "", 2);
  const Stream b = receivePictures(second, "", 2);
  EXPECT_EQ(a.error, "");
  EXPECT_EQ(b.error, "");
  EXPECT_GE(a.pictures.size(), 2u);
  EXPECT_GE(b.pictures.size(), 2u);
}

TEST_F(MjpegServerTest, ClientThatStopsReadingHoldsUpNobody) {
  startServer();
  LoopbackClient stalled(server_->port(), 1024);
  ASSERT_TRUE(stalled.send(std::string(kRequest) + "\r\n"));
  LoopbackClient reader(server_->port());
  const Stream stream = receivePictures(reader, "", 40);
  EXPECT_EQ(stream.error, "");
  EXPECT_GE(stream.pictures.size(), 40u);
}

TEST_F(MjpegServerTest, StopClosesStreamingConnections) {
  startServer();
  LoopbackClient client(server_->port());
  ASSERT_GE(receivePictures(client, "", 1).pictures.size(), 1u);
  server_->stop();
  EXPECT_TRUE(client.receiveUntilClosed());
  EXPECT_EQ(server_->activeClients(), 0u);
}

class MjpegServerAuthorisation : public MjpegServerTest {
 protected:
  void SetUp() override {
    MjpegServerOptions options;
    options.user = "admin";
    options.password = "s3cret:x";
    startServer(options);
  }

  // A refused client gets the challenge, no picture, and a closed connection.
  void expectRefused(const std::string& extraHeaders) {
    LoopbackClient client(server_->port());
    ASSERT_TRUE(client.send(std::string(kRequest) + extraHeaders + "\r\n"));
    ASSERT_TRUE(client.receiveUntilClosed());
    const std::string& answer = client.received();
    EXPECT_EQ(answer.rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\nWWW-Authenticate: Basic realm=\""), std::string::npos) << answer;
    EXPECT_EQ(answer.find("\xFF\xD8"), std::string::npos);
    EXPECT_EQ(answer.find("image/jpeg"), std::string::npos);
  }
};

TEST_F(MjpegServerAuthorisation, RefusesMissingCredentials) {
  expectRefused("");
  EXPECT_EQ(server_->picturesServed(), 0u);
  EXPECT_EQ(server_->unauthorisedRequests(), 1u);
}

TEST_F(MjpegServerAuthorisation, RefusesWrongPasswordOrUser) {
  expectRefused(authorisation("admin", "wrong"));
  expectRefused(authorisation("guest", "s3cret:x"));
  expectRefused(authorisation("admin", ""));
  expectRefused("Authorization: Digest username=\"admin\"\r\n");
  EXPECT_EQ(server_->picturesServed(), 0u);
}

TEST_F(MjpegServerAuthorisation, ServesCorrectCredentials) {
  LoopbackClient client(server_->port());
  const Stream stream = receivePictures(client, authorisation("admin", "s3cret:x"), 2);
  EXPECT_EQ(stream.error, "");
  EXPECT_GE(stream.pictures.size(), 2u);
}

TEST_F(MjpegServerTest, UserWithoutPasswordNeedsTheColonForm) {
  MjpegServerOptions options;
  options.user = "viewer";
  startServer(options);
  LoopbackClient client(server_->port());
  EXPECT_GE(receivePictures(client, authorisation("viewer", ""), 1).pictures.size(), 1u);
}

TEST_F(MjpegServerTest, AnswersMalformedRequestsWithoutPictures) {
  startServer();
  struct Case {
    std::string request;
    std::string status;
  };
  const std::vector<Case> cases = {
      {"NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"POST / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n"},
      {"GET / HTTP/1.1\r\nX: " + std::string(MjpegServer::kMaxRequestHeaderBytes, 'a'),
       "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
  };
  for (const Case& c : cases) {
    LoopbackClient client(server_->port());
    ASSERT_TRUE(client.send(c.request));
    ASSERT_TRUE(client.receiveUntilClosed()) << c.status;
    EXPECT_EQ(client.received().rfind(c.status, 0), 0u) << client.received();
  }
  EXPECT_EQ(server_->picturesServed(), 0u);
}

TEST(MjpegServerStart, RefusesBadOptions) {
  const auto refuses = [](auto change) {
    MjpegServerOptions options;
    change(options);
    MjpegServer server(options);
    const bool started = server.start();
    EXPECT_FALSE(started);
    EXPECT_FALSE(server.lastError().empty());
  };
  refuses([](MjpegServerOptions& o) { o.boundary = ""; });
  refuses([](MjpegServerOptions& o) { o.boundary = "two words"; });
  refuses([](MjpegServerOptions& o) { o.boundary = "line\r\nbreak"; });
  refuses([](MjpegServerOptions& o) { o.fps = 0; });
  refuses([](MjpegServerOptions& o) { o.quality = 101; });
  refuses([](MjpegServerOptions& o) { o.width = 0; });
  refuses([](MjpegServerOptions& o) { o.bindAddress = "not an address"; });
}

TEST(MjpegServerStart, RefusesAPortInUse) {
  MjpegServer first;
  ASSERT_TRUE(first.start());
  MjpegServerOptions options;
  options.port = first.port();
  MjpegServer second(options);
  EXPECT_FALSE(second.start());
  EXPECT_NE(second.lastError().find("cannot listen"), std::string::npos);
}

TEST(MjpegServerStart, EncodesNothingWithoutViewers) {
  MjpegServer server;
  ASSERT_TRUE(server.start());
  LoopbackClient probe(server.port());  // connected, but never asks for the stream
  server.stop();
  EXPECT_EQ(server.framesEncoded(), 0u);
}

}  // namespace
}  // namespace vexa::camera
