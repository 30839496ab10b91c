#include "camera/JpegEncoder.h"

#include <gtest/gtest.h>

#include <string>

#include "camera/CameraTestSupport.h"
#include "camera/PictureGenerator.h"

namespace vexa::camera {
namespace {

using testing::decodeJpeg;
using testing::meanAbsoluteError;

std::vector<uint8_t> encodeFrame(int width, int height, int quality, uint32_t index) {
  JpegEncoder encoder;
  if (!encoder.open(width, height, quality)) return {};
  return encoder.encode(PictureGenerator(width, height).yuvFrame(index));
}

TEST(JpegEncoder, DecodesCloseToTheGeneratedPicture) {
  for (auto [width, height, quality] :
       {std::tuple{640, 480, 70}, {320, 240, 90}, {99, 75, 100}, {1280, 720, 40}}) {
    const std::vector<uint8_t> jpeg = encodeFrame(width, height, quality, 321);
    ASSERT_FALSE(jpeg.empty());
    EXPECT_TRUE(testing::isCompleteJpeg({reinterpret_cast<const char*>(jpeg.data()), jpeg.size()}));
    const auto decoded = decodeJpeg(jpeg);
    ASSERT_TRUE(decoded) << width << "x" << height;
    const BgrPicture original = PictureGenerator(width, height).bgrFrame(321);
    EXPECT_LT(meanAbsoluteError(*decoded, original), 2.0) << width << "x" << height;
    // A different frame is measurably further away, so the check above can tell pictures apart.
    EXPECT_GT(meanAbsoluteError(*decoded, PictureGenerator(width, height).bgrFrame(4321)),
              meanAbsoluteError(*decoded, original));
  }
}

TEST(JpegEncoder, HigherQualityGivesLargerCloserPictures) {
  const std::vector<uint8_t> low = encodeFrame(320, 240, 10, 7);
  const std::vector<uint8_t> high = encodeFrame(320, 240, 95, 7);
  ASSERT_FALSE(low.empty());
  ASSERT_FALSE(high.empty());
  EXPECT_LT(low.size(), high.size());
  const BgrPicture original = PictureGenerator(320, 240).bgrFrame(7);
  EXPECT_LT(meanAbsoluteError(*decodeJpeg(high), original),
            meanAbsoluteError(*decodeJpeg(low), original));
}

TEST(JpegEncoder, QualitySpansTheWholeQuantiserRange) {
  EXPECT_EQ(JpegEncoder::qscaleForQuality(100), 1);
  EXPECT_EQ(JpegEncoder::qscaleForQuality(1), 31);
  for (int quality = 2; quality <= 100; ++quality) {
    EXPECT_LE(JpegEncoder::qscaleForQuality(quality), JpegEncoder::qscaleForQuality(quality - 1));
  }
}

TEST(JpegEncoder, EncodesManyPicturesInARow) {
  JpegEncoder encoder;
  ASSERT_TRUE(encoder.open(160, 120, 70));
  const PictureGenerator generator(160, 120);
  for (uint32_t index = 0; index < 20; ++index) {
    const std::vector<uint8_t> jpeg = encoder.encode(generator.yuvFrame(index));
    const auto decoded = decodeJpeg(jpeg);
    ASSERT_TRUE(decoded) << index;
    EXPECT_LT(meanAbsoluteError(*decoded, generator.bgrFrame(index)), 6.0) << index;
  }
}

TEST(JpegEncoder, RefusesBadSettingsAndMismatchedPictures) {
  JpegEncoder encoder;
  EXPECT_FALSE(encoder.open(0, 120, 70));
  EXPECT_FALSE(encoder.open(160, 120, 0));
  EXPECT_FALSE(encoder.open(160, 120, 101));
  EXPECT_TRUE(encoder.encode(PictureGenerator(160, 120).yuvFrame(0)).empty());  // not open

  ASSERT_TRUE(encoder.open(160, 120, 70));
  EXPECT_TRUE(encoder.encode(PictureGenerator(162, 120).yuvFrame(0)).empty());
  YuvPicture truncated = PictureGenerator(160, 120).yuvFrame(0);
  truncated.v.pop_back();
  EXPECT_TRUE(encoder.encode(truncated).empty());
  EXPECT_FALSE(encoder.encode(PictureGenerator(160, 120).yuvFrame(0)).empty());
}

}  // namespace
}  // namespace vexa::camera
