#include "camera/RtspMessageReader.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vexa::camera {
namespace {

using Kind = RtspMessageReader::Kind;

TEST(RtspMessageReader, GivesOutRequestsBodiesAndFramesInOrderOnlyWhenWhole) {
  const std::string request = "OPTIONS * RTSP/1.0\r\nCSeq: 1\r\n\r\n";
  const std::string frame = {'$', 1, 0x00, 0x03, 'a', 'b', 'c'};
  const std::string withBody = "SET_PARAMETER x RTSP/1.0\r\nContent-Length: 5\r\n\r\nhello";
  // A stray line break between messages is skipped.
  const std::string stream = request + frame + "\r\n" + withBody;
  const std::vector<size_t> ends = {request.size(), request.size() + frame.size(), stream.size()};
  RtspMessageReader reader;
  std::vector<RtspMessageReader::Message> messages;
  for (size_t at = 0; at < stream.size(); ++at) {
    reader.append(stream.substr(at, 1));
    while (auto message = reader.next()) messages.push_back(std::move(*message));
    EXPECT_EQ(messages.size(), size_t(std::count_if(ends.begin(), ends.end(),
                                                    [&](size_t end) { return end <= at + 1; })))
        << at;
  }
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].kind, Kind::Request);
  EXPECT_EQ(messages[0].header, request);
  EXPECT_EQ(messages[1].kind, Kind::Interleaved);
  EXPECT_EQ(messages[1].channel, 1);
  EXPECT_EQ(messages[1].data, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(messages[2].kind, Kind::Request);
  EXPECT_EQ(messages[2].body, "hello");
}

TEST(RtspMessageReader, GivesUpOnOversizedHeadersAndBadLengthsAndKeepsToItsRoom) {
  for (const std::string& bad :
       {"OPTIONS * RTSP/1.0\r\nX: " + std::string(RtspMessageReader::kMaxHeaderBytes, 'a'),
        std::string("DESCRIBE x RTSP/1.0\r\nContent-Length: x\r\n\r\n"),
        std::string("DESCRIBE x RTSP/1.0\r\nContent-Length: 65537\r\n\r\n")}) {
    RtspMessageReader reader;
    reader.append(bad);
    const auto message = reader.next();
    ASSERT_TRUE(message) << bad.substr(0, 60);
    EXPECT_EQ(message->kind, Kind::Malformed) << bad.substr(0, 60);
    EXPECT_FALSE(reader.next());
  }
  RtspMessageReader full;
  full.append(std::string(RtspMessageReader::kMaxBufferedBytes + 10, 'x'));
  EXPECT_EQ(full.room(), 0u);
}

}  // namespace
}  // namespace vexa::camera
