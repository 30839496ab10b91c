#include "camera/RtspMessageReader.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

using Kind = RtspMessageReader::Kind;

TEST(RtspMessageReader, SplitsRequestsBodiesAndFramesInOrder) {
  RtspMessageReader reader;
  const std::string frame = {'$', 1, 0x00, 0x03, 'a', 'b', 'c'};
  reader.append("OPTIONS * RTSP/1.0\r\nCSeq: 1\r\n\r\n" + frame +
                "\r\nSET_PARAMETER rtsp://h/ RTSP/1.0\r\nContent-Length: 5\r\n\r\nhello");
  auto first = reader.next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, Kind::Request);
  EXPECT_EQ(first->header, "OPTIONS * RTSP/1.0\r\nCSeq: 1\r\n\r\n");
  auto second = reader.next();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->kind, Kind::Interleaved);
  EXPECT_EQ(second->channel, 1);
  EXPECT_EQ(second->data, (std::vector<uint8_t>{'a', 'b', 'c'}));
  auto third = reader.next();  // the stray line break before it is skipped
  ASSERT_TRUE(third);
  EXPECT_EQ(third->kind, Kind::Request);
  EXPECT_EQ(third->body, "hello");
  EXPECT_FALSE(reader.next());
}

TEST(RtspMessageReader, WaitsForWholeMessages) {
  RtspMessageReader reader;
  const std::string message = "PLAY x RTSP/1.0\r\nContent-Length: 2\r\n\r\nok";
  const std::string frame = {'$', 0, 0x00, 0x02, 'h', 'i'};
  for (const std::string& whole : {message, frame}) {
    for (char c : whole.substr(0, whole.size() - 1)) {
      reader.append(std::string(1, c));
      EXPECT_FALSE(reader.next());
    }
    reader.append(whole.substr(whole.size() - 1));
    EXPECT_TRUE(reader.next());
  }
}

TEST(RtspMessageReader, GivesUpOnOversizedHeadersAndBadLengths) {
  RtspMessageReader tooLong;
  tooLong.append("OPTIONS * RTSP/1.0\r\nX: " +
                 std::string(RtspMessageReader::kMaxHeaderBytes, 'a'));
  auto message = tooLong.next();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->kind, Kind::Malformed);
  EXPECT_FALSE(tooLong.next());

  for (const char* length : {"x", "-1", "99999999999", "65537"}) {
    RtspMessageReader reader;
    reader.append(std::string("DESCRIBE x RTSP/1.0\r\nContent-Length: ") + length + "\r\n\r\n");
    message = reader.next();
    ASSERT_TRUE(message) << length;
    EXPECT_EQ(message->kind, Kind::Malformed) << length;
  }
}

TEST(RtspMessageReader, TakesNoMoreThanItsRoom) {
  RtspMessageReader reader;
  reader.append(std::string(RtspMessageReader::kMaxBufferedBytes + 10, 'x'));
  EXPECT_EQ(reader.room(), 0u);
}

}  // namespace
}  // namespace vexa::camera
