#include "camera/MjpegServer.h"

#include <gtest/gtest.h>

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
    "GET / HTTP/1.1\r\nAccept: text/* image/jpeg audio/pcm\r\nUser-Agent: Oxbel2 Player\r\n";

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

TEST(MjpegServer, ServesFramedGeneratedPicturesOnlyForTheRightCredentials) {
  MjpegServerOptions options;
  options.width = 160;
  options.height = 120;
  options.fps = 30;
  options.boundary = "--myboundary";
  options.user = "admin";
  options.password = "s3cret:x";
  MjpegServer server(options);
  ASSERT_TRUE(server.start()) << server.lastError();
  // A refused client gets the status line, no picture, and a closed connection.
  const std::string get(kRequest), k401 = "HTTP/1.1 401 Unauthorized\r\n";
  const struct {
    std::string request, statusLine;
  } refusals[] = {
      {get + "\r\n", k401},
      {get + authorisation("admin", "wrong") + "\r\n", k401},
      {get + authorisation("admin", "s3cret") + "\r\n", k401},
      {get + authorisation("guest", "s3cret:x") + "\r\n", k401},
      {get + "Authorization: Digest username=\"admin\"\r\n\r\n", k401},
      {"NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"POST / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n"},
      {"GET / HTTP/1.1\r\nX: " + std::string(MjpegServer::kMaxRequestHeaderBytes, 'a'),
       "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
  };
  for (const auto& c : refusals) {
    LoopbackConnection client(server.port());
    ASSERT_TRUE(client.send(c.request));
    ASSERT_TRUE(client.receiveUntilClosed()) << c.statusLine;
    const std::string& answer = client.received();
    EXPECT_EQ(answer.rfind(c.statusLine, 0), 0u) << answer;
    EXPECT_EQ(answer.find("image/jpeg"), std::string::npos);
    if (c.statusLine == k401) {
      EXPECT_NE(answer.find("\r\nWWW-Authenticate: Basic realm=\""), std::string::npos) << answer;
    }
  }
  EXPECT_EQ(server.unauthorisedRequests(), 5u);
  EXPECT_EQ(server.picturesServed(), 0u);

  LoopbackConnection client(server.port());
  ASSERT_TRUE(client.send(get + authorisation("admin", "s3cret:x") + "\r\n"));
  client.receiveUntil([&](const std::string& data) {
    const Stream stream = parseStream(data, options.boundary);
    return !stream.error.empty() || stream.pictures.size() >= 3;
  });
  const Stream stream = parseStream(client.received(), options.boundary);
  EXPECT_EQ(stream.error, "");
  ASSERT_GE(stream.pictures.size(), 3u);
  const PictureGenerator generator(160, 120);
  std::optional<uint32_t> previous;
  for (const std::string& picture : stream.pictures) {
    const std::vector<uint8_t> jpeg(picture.begin(), picture.end());
    const auto decoded = test::decodeImage(jpeg, AV_CODEC_ID_MJPEG);
    const auto index = taggedFrameIndex(jpeg);
    ASSERT_TRUE(decoded && index);
    EXPECT_LT(test::meanAbsoluteError(decoded->bgr, generator.bgrFrame(*index).pixels), 2.0);
    EXPECT_TRUE(!previous || *index > *previous);
    previous = index;
  }
}

}  // namespace
}  // namespace vexa::camera
