#include "camera/JpegFrameTag.h"

#include <gtest/gtest.h>

#include "camera/JpegEncoder.h"
#include "camera/PictureGenerator.h"
#include "support/Codecs.h"

namespace vexa::camera {
namespace {

std::vector<uint8_t> encodedPicture() {
  JpegEncoder encoder;
  EXPECT_TRUE(encoder.open(64, 48, 80));
  return encoder.encode(PictureGenerator(64, 48).yuvFrame(3));
}

TEST(JpegFrameTag, RoundTripsAndLeavesThePictureIntact) {
  const std::vector<uint8_t> plain = encodedPicture();
  EXPECT_FALSE(taggedFrameIndex(plain));
  std::vector<uint8_t> tagged = plain;
  tagFrameIndex(tagged, 4294967295u);
  EXPECT_EQ(taggedFrameIndex(tagged), 4294967295u);
  EXPECT_EQ(test::decodeImage(plain, AV_CODEC_ID_MJPEG).value().bgr,
            test::decodeImage(tagged, AV_CODEC_ID_MJPEG).value().bgr);
}

TEST(JpegFrameTag, FollowsTheJfifSegment) {
  std::vector<uint8_t> jpeg = encodedPicture();
  ASSERT_EQ(jpeg[3], 0xE0);  // the encoder writes JFIF first
  const size_t app0End = 4 + (size_t(jpeg[4]) << 8 | jpeg[5]);
  tagFrameIndex(jpeg, 12);
  EXPECT_EQ(jpeg[app0End], 0xFF);
  EXPECT_EQ(jpeg[app0End + 1], 0xFE);
}

TEST(JpegFrameTag, MalformedInputGivesNothing) {
  std::vector<uint8_t> tagged = encodedPicture();
  tagFrameIndex(tagged, 99);
  // Every truncation, including those that cut a segment's length or text, stays in bounds.
  for (size_t size = 0; size < 64; ++size) {
    const std::span<const uint8_t> cut(tagged.data(), size);
    const auto index = taggedFrameIndex(cut);
    if (index) {
      EXPECT_EQ(*index, 99u);
    }
  }
  const std::vector<uint8_t> hugeLength = {0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xFF, 'v'};
  EXPECT_FALSE(taggedFrameIndex(hugeLength));
  const std::vector<uint8_t> shortLength = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x01};
  EXPECT_FALSE(taggedFrameIndex(shortLength));
  std::vector<uint8_t> notJpeg = {'h', 'e', 'l', 'l', 'o'};
  tagFrameIndex(notJpeg, 1);
  EXPECT_EQ(notJpeg.size(), 5u);
}

}  // namespace
}  // namespace vexa::camera
