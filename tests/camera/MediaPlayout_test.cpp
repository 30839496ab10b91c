#include "camera/MediaPlayout.h"

#include <gtest/gtest.h>

#include "camera/RtspTestSupport.h"

namespace vexa::camera {
namespace {

using namespace std::chrono_literals;

// Two payloads per picture, the picture index in the first byte of each.
class CountingSource final : public VideoSource {
 public:
  std::vector<std::vector<uint8_t>> payloadsOf(uint32_t pictureIndex) override {
    requested.push_back(pictureIndex);
    return {{uint8_t(pictureIndex), 1}, {uint8_t(pictureIndex), 2}};
  }
  std::vector<uint32_t> requested;
};

struct Sent {
  std::vector<test::ParsedRtp> video, audio;
  size_t reports = 0;
};

Sent split(const std::vector<uint8_t>& out) {
  Sent sent;
  for (size_t at = 0; at + 4 <= out.size();) {
    const size_t length = size_t(out[at + 2]) << 8 | out[at + 3];
    const std::vector<uint8_t> packet(out.begin() + std::ptrdiff_t(at + 4),
                                      out.begin() + std::ptrdiff_t(at + 4 + length));
    if (out[at + 1] == 0) sent.video.push_back(*test::parseRtp(packet));
    if (out[at + 1] == 2) sent.audio.push_back(*test::parseRtp(packet));
    sent.reports += out[at + 1] == 1 || out[at + 1] == 3;
    at += 4 + length;
  }
  return sent;
}

class MediaPlayoutTest : public ::testing::Test {
 protected:
  MediaPlayoutTest() : playout_(10, 1000ms, "cam") {
    auto source = std::make_unique<CountingSource>();
    source_ = source.get();
    playout_.setVideo(std::move(source), RtpStream(96, 90000, 0, 1, {1, 100, 5000}));
  }

  Sent produce(std::chrono::milliseconds at) {
    std::vector<uint8_t> out;
    playout_.produceDue(start_ + at, std::chrono::system_clock::now(), out);
    return split(out);
  }

  MediaPlayout playout_;
  CountingSource* source_ = nullptr;
  const MediaPlayout::Clock::time_point start_ = MediaPlayout::Clock::now();
};

TEST_F(MediaPlayoutTest, SendsNothingBeforePlay) {
  EXPECT_FALSE(playout_.nextDue());
  EXPECT_TRUE(produce(0ms).video.empty());
}

TEST_F(MediaPlayoutTest, SendsEachPictureWhenDueStampedByItsIndex) {
  playout_.start(start_);
  Sent first = produce(0ms);
  ASSERT_EQ(first.video.size(), 2u);
  EXPECT_EQ(first.reports, 1u);  // the first sender report goes with the first picture
  EXPECT_EQ(first.video[0].timestamp, 5000u);
  EXPECT_FALSE(first.video[0].marker);
  EXPECT_TRUE(first.video[1].marker);
  EXPECT_EQ(playout_.nextDue(), start_ + 100ms);
  EXPECT_TRUE(produce(99ms).video.empty());
  const Sent second = produce(100ms);
  ASSERT_EQ(second.video.size(), 2u);
  EXPECT_EQ(second.video[0].timestamp, 5000u + 9000);
  EXPECT_EQ(second.video[0].sequence, 102);
  EXPECT_EQ(second.reports, 0u);
  EXPECT_EQ(produce(1000ms).reports, 1u);
}

TEST_F(MediaPlayoutTest, SkipsPicturesAfterAStallInsteadOfBursting) {
  playout_.start(start_);
  produce(0ms);
  const Sent late = produce(5050ms);
  ASSERT_EQ(late.video.size(), 2u);
  EXPECT_EQ(source_->requested.back(), 50u);
  EXPECT_EQ(late.video[0].timestamp, 5000u + 50 * 9000);
  EXPECT_EQ(late.video[0].sequence, 102);  // numbering stays consecutive
  EXPECT_EQ(late.reports, 1u);
  EXPECT_EQ(playout_.nextDue(), start_ + 5100ms);
}

TEST_F(MediaPlayoutTest, SendsAudioEveryTwentyMilliseconds) {
  auto tone = std::make_unique<ToneEncoder>();
  ASSERT_TRUE(tone->open(AudioCodec::Pcmu));
  playout_.setAudio(std::move(tone), RtpStream(0, 8000, 2, 3, {2, 7, 0}));
  EXPECT_EQ(playout_.streamOnChannel(3), playout_.audio());
  EXPECT_EQ(playout_.streamOnChannel(4), nullptr);
  playout_.start(start_);
  const Sent first = produce(0ms);
  ASSERT_EQ(first.audio.size(), 1u);
  EXPECT_TRUE(first.audio[0].marker);
  EXPECT_EQ(first.audio[0].payload.size(), 160u);
  EXPECT_EQ(first.reports, 2u);
  const Sent later = produce(60ms);
  ASSERT_EQ(later.audio.size(), 3u);
  for (size_t i = 0; i < later.audio.size(); ++i) {
    EXPECT_EQ(later.audio[i].timestamp, 160 * (i + 1));
    EXPECT_EQ(later.audio[i].sequence, 8 + i);
    EXPECT_FALSE(later.audio[i].marker);
  }
}

}  // namespace
}  // namespace vexa::camera
