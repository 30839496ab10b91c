#include "camera/MjpegServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/JpegFrameTag.h"
#include "camera/PictureGenerator.h"
#include "common/Base64.h"
#include "support/Codecs.h"
#include "support/Loopback.h"
#include "support/Picture.h"

namespace vexa::camera {
namespace {

using test::LoopbackConnection;

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
  const std::string head = "Content-Type: image/jpeg\r\nContent-Length: ";
  for (size_t at = opening.size(), headEnd;
       (headEnd = data.find("\r\n\r\n", at)) != std::string::npos;) {
    const bool headOk = data.compare(at, head.size(), head) == 0;
    const std::string length =
        headOk ? data.substr(at + head.size(), headEnd - at - head.size()) : "";
    if (length.empty() || length.find_first_not_of("0123456789") != std::string::npos) {
      stream.error = "bad part header at " + std::to_string(at);
      break;
    }
    const size_t picture = headEnd + 4, end = picture + std::stoul(length);
    if (data.size() < end + delimiter.size()) break;
    if (data.compare(end, delimiter.size(), delimiter) != 0) {
      stream.error = "no delimiter right after picture " + std::to_string(stream.pictures.size());
      break;
    }
    stream.pictures.push_back(data.substr(picture, end - picture));
    at = end + delimiter.size();
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
  }

  // Sends the request and reads until `count` parts have arrived whole.
  Stream receivePictures(LoopbackConnection& client, const std::string& extraHeaders,
                         size_t count) {
    EXPECT_TRUE(client.connected());
    EXPECT_TRUE(client.send(std::string(kRequest) + extraHeaders + "\r\n"));
    const std::string& boundary = server_->options().boundary;
    client.receiveUntil([&](const std::string& data) {
      const Stream stream = parseStream(data, boundary);
      return !stream.error.empty() || stream.pictures.size() >= count;
    });
    const Stream stream = parseStream(client.received(), boundary);
    EXPECT_EQ(stream.error, "");
    EXPECT_GE(stream.pictures.size(), count);
    return stream;
  }

  // A refused client gets the status line, no picture, and a closed connection.
  void expectRefused(const std::string& request, const std::string& statusLine) {
    LoopbackConnection client(server_->port());
    ASSERT_TRUE(client.send(request));
    ASSERT_TRUE(client.receiveUntilClosed()) << statusLine;
    const std::string& answer = client.received();
    EXPECT_EQ(answer.rfind(statusLine, 0), 0u) << answer;
    EXPECT_EQ(answer.find("\xFF\xD8"), std::string::npos);
    EXPECT_EQ(answer.find("image/jpeg"), std::string::npos);
    if (statusLine.find("401") != std::string::npos) {
      EXPECT_NE(answer.find("\r\nWWW-Authenticate: Basic realm=\""), std::string::npos) << answer;
    }
  }

  std::unique_ptr<MjpegServer> server_;
};

TEST_F(MjpegServerTest, ServesFramedPicturesThatMatchTheGenerator) {
  startServer();
  LoopbackConnection client(server_->port());
  const Stream stream = receivePictures(client, "", 3);
  const PictureGenerator generator(160, 120);
  std::optional<uint32_t> previous;
  for (const std::string& picture : stream.pictures) {
    const std::vector<uint8_t> jpeg(picture.begin(), picture.end());
    const auto decoded = test::decodeImage(jpeg, AV_CODEC_ID_MJPEG);
    const auto index = taggedFrameIndex(jpeg);
    ASSERT_TRUE(decoded && index);
    EXPECT_LT(test::meanAbsoluteError(decoded->bgr, generator.bgrFrame(*index).pixels), 2.0);
    if (previous) {
      EXPECT_GT(*index, *previous);
    }
    previous = index;
  }
  EXPECT_GE(server_->picturesServed(), 3u);
}

TEST_F(MjpegServerTest, ServesSeveralClientsWithTheConfiguredBoundary) {
  MjpegServerOptions options;
  options.boundary = "--myboundary";
  startServer(options);
  LoopbackConnection first(server_->port());
  LoopbackConnection second(server_->port());
  receivePictures(first, "", 2);
  receivePictures(second, "", 2);
}

TEST_F(MjpegServerTest, ClientThatStopsReadingHoldsUpNobody) {
  startServer();
  LoopbackConnection stalled(server_->port(), 1024);
  ASSERT_TRUE(stalled.send(std::string(kRequest) + "\r\n"));
  LoopbackConnection reader(server_->port());
  receivePictures(reader, "", 40);
}

TEST_F(MjpegServerTest, StopClosesStreamingConnections) {
  startServer();
  LoopbackConnection client(server_->port());
  receivePictures(client, "", 1);
  server_->stop();
  EXPECT_TRUE(client.receiveUntilClosed());
  EXPECT_EQ(server_->activeClients(), 0u);
}

TEST_F(MjpegServerTest, RefusesAllButTheExactCredentialsWith401) {
  MjpegServerOptions options;
  options.user = "admin";
  options.password = "s3cret:x";
  startServer(options);
  for (const std::string& header :
       {std::string(), authorisation("admin", "wrong"), authorisation("guest", "s3cret:x"),
        authorisation("admin", ""), std::string("Authorization: Digest username=\"admin\"\r\n")}) {
    expectRefused(std::string(kRequest) + header + "\r\n", "HTTP/1.1 401 Unauthorized\r\n");
  }
  EXPECT_EQ(server_->unauthorisedRequests(), 5u);
  EXPECT_EQ(server_->picturesServed(), 0u);
  LoopbackConnection client(server_->port());
  receivePictures(client, authorisation("admin", "s3cret:x"), 2);
}

TEST_F(MjpegServerTest, AnswersMalformedRequestsWithoutPictures) {
  startServer();
  expectRefused("NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n");
  expectRefused("POST / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n");
  expectRefused("GET / HTTP/1.1\r\nX: " + std::string(MjpegServer::kMaxRequestHeaderBytes, 'a'),
                "HTTP/1.1 431 Request Header Fields Too Large\r\n");
  EXPECT_EQ(server_->picturesServed(), 0u);
}

TEST(MjpegServerStart, RefusesBadOptions) {
  const auto refuses = [](auto change) {
    MjpegServerOptions options;
    change(options);
    MjpegServer server(options);
    EXPECT_FALSE(server.start());
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

TEST(MjpegServerStart, RefusesAPortInUseAndEncodesNothingWithoutViewers) {
  MjpegServer first;
  ASSERT_TRUE(first.start());
  LoopbackConnection probe(first.port());  // connected, but never asks for the stream
  MjpegServerOptions options;
  options.port = first.port();
  MjpegServer second(options);
  EXPECT_FALSE(second.start());
  EXPECT_NE(second.lastError().find("cannot listen"), std::string::npos);
  first.stop();
  EXPECT_EQ(first.framesEncoded(), 0u);
}

}  // namespace
}  // namespace vexa::camera
