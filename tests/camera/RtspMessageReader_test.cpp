#include "camera/RtspMessageReader.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

using Kind = RtspMessageReader::Kind;

// Bytes arriving one at a time: each message comes out once whole, in order; a stray line break
// between messages is skipped.
TEST(RtspMessageReader, GivesOutRequestsBodiesAndFramesOnlyWhenWhole) {
  const std::string request = "OPTIONS * RTSP/1.0\r\nCSeq: 1\r\n\r\n";
  const std::string frame = {'$', 1, 0x00, 0x03, 'a', 'b', 'c'};
  const std::string stream =
      request + frame + "\r\nSET x RTSP/1.0\r\nContent-Length: 5\r\n\r\nhello";
  RtspMessageReader reader;
  std::vector<RtspMessageReader::Message> messages;
  std::vector<size_t> ends;
  for (size_t at = 0; at < stream.size(); ++at) {
    reader.append(stream.substr(at, 1));
    while (auto message = reader.next()) {
      messages.push_back(std::move(*message));
      ends.push_back(at + 1);
    }
  }
  EXPECT_EQ(ends,
            (std::vector<size_t>{request.size(), request.size() + frame.size(), stream.size()}));
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(std::tuple(messages[0].kind, messages[0].header), std::tuple(Kind::Request, request));
  EXPECT_EQ(std::tuple(messages[1].kind, messages[1].channel, messages[1].data),
            std::tuple(Kind::Interleaved, 1, std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(messages[2].body, "hello");
}

TEST(RtspMessageReader, GivesUpOnOversizedHeadersAndBadLengths) {
  for (const std::string& bad :
       {"OPTIONS * RTSP/1.0\r\nX: " + std::string(RtspMessageReader::kMaxHeaderBytes, 'a'),
        std::string("DESCRIBE x RTSP/1.0\r\nContent-Length: x\r\n\r\n"),
        std::string("DESCRIBE x RTSP/1.0\r\nContent-Length: 65537\r\n\r\n")}) {
    RtspMessageReader reader;
    reader.append(bad);
    EXPECT_EQ(reader.next().value_or(RtspMessageReader::Message{.kind = Kind::Request}).kind,
              Kind::Malformed);
    EXPECT_FALSE(reader.next());
  }
}

}  // namespace
}  // namespace vexa::camera
