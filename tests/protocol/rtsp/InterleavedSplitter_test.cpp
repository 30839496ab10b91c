#include "protocol/rtsp/InterleavedSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vexa {
namespace {

using Frames = std::vector<std::pair<int, std::string>>;

std::string frame(uint8_t channel, const std::string& body) {
  return std::string{'$', char(channel), char(body.size() >> 8), char(body.size() & 0xFF)} + body;
}

// Answers are recorded among the frames on channel -1, by their status line.
struct Splitter {
  ByteBuffer buffer;
  Frames frames;
  size_t skipped = 0;
  void feed(const std::string& bytes) {
    buffer.append(bytes.data(), int32_t(bytes.size()));
    skipped += InterleavedSplitter::split(
        buffer,
        [this](uint8_t channel, std::span<const uint8_t> body) {
          frames.emplace_back(channel, std::string(body.begin(), body.end()));
        },
        [this](const RtspAnswer& answer) { frames.emplace_back(-1, answer.statusLine); });
  }
};

const std::string kLong(300, 'v');  // length needs both bytes: 0x01 0x2C

TEST(InterleavedSplitter, SplitsFramesAndAnswersInOrderWhateverTheSegmentBoundaries) {
  // A keep-alive's answer, with a body holding "$", between frames; LF-only lines.
  const std::string answer = "RTSP/1.0 200 OK\nCSeq: 7\nContent-Length: 5\n\n$\x00\x01x\n";
  const std::string stream = frame(0, "abc") + "xx" + frame(2, kLong) + answer + frame(7, "no") +
                             frame(1, "r") + "RTSP/1.0 405 Method Not Allowed\r\n\r\n" + frame(3, "");
  Splitter whole;
  whole.feed(stream);
  EXPECT_EQ(whole.frames, (Frames{{0, "abc"},
                                  {2, kLong},
                                  {-1, "RTSP/1.0 200 OK"},
                                  {1, "r"},
                                  {-1, "RTSP/1.0 405 Method Not Allowed"},
                                  {3, ""}}));
  EXPECT_EQ(whole.buffer.size(), 0);
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    Splitter parts;
    parts.feed(stream.substr(0, cut));
    parts.feed(stream.substr(cut));
    ASSERT_EQ(parts.frames, whole.frames) << "cut at " << cut;
  }
}

TEST(InterleavedSplitter, SkipsGarbageUpToTheNextMarkerAndOtherChannelsWhole) {
  Splitter s;
  s.feed("z" + frame(0, "a"));
  EXPECT_EQ(s.frames, (Frames{{0, "a"}}));
  EXPECT_EQ(s.skipped, 1u);
  // A frame on channel 7 goes whole, the "$" in its body with it.
  s.feed(frame(7, frame(0, "hidden")) + frame(1, "b"));
  EXPECT_EQ(s.frames, (Frames{{0, "a"}, {1, "b"}}));
  EXPECT_EQ(s.skipped, 1u);
  // No "$" at all: everything goes.
  s.feed("garbage without a marker");
  EXPECT_EQ(s.buffer.size(), 0);
  // An answer that never ends is garbage too, once it outgrows any answer.
  s.feed("RTSP/1.0 200 OK\r\n" + std::string(kMaxAnswerBytes, 'h') + frame(0, "c"));
  EXPECT_EQ(s.frames.back(), (std::pair<int, std::string>{0, "c"}));
}

}  // namespace
}  // namespace vexa
