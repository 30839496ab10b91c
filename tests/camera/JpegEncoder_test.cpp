#include "camera/JpegEncoder.h"

#include <gtest/gtest.h>

#include "camera/PictureGenerator.h"
#include "support/Codecs.h"
#include "support/Picture.h"

namespace vexa::camera {
namespace {

using test::meanAbsoluteError;

// The picture an independent decoder sees in the JPEG.
std::vector<uint8_t> decoded(const std::vector<uint8_t>& jpeg) {
  const auto image = test::decodeImage(jpeg, AV_CODEC_ID_MJPEG);
  return image ? image->bgr : std::vector<uint8_t>{};
}

TEST(JpegEncoder, PicturesInARowDecodeCloseToTheGeneratedOnes) {
  for (auto [width, height, quality] :
       {std::tuple{640, 480, 70}, {320, 240, 90}, {99, 75, 100}, {1280, 720, 40}}) {
    JpegEncoder encoder;
    ASSERT_TRUE(encoder.open(width, height, quality));
    const PictureGenerator generator(width, height);
    for (uint32_t index : {321u, 322u, 323u}) {
      const std::vector<uint8_t> jpeg = encoder.encode(generator.yuvFrame(index));
      ASSERT_GE(jpeg.size(), 4u);
      EXPECT_TRUE(jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg.end()[-2] == 0xFF &&
                  jpeg.end()[-1] == 0xD9);
      const auto picture = decoded(jpeg);
      EXPECT_LT(meanAbsoluteError(picture, generator.bgrFrame(index).pixels), 2.0)
          << width << "x" << height << " #" << index;
      // A different frame is measurably further away, so the check can tell pictures apart.
      EXPECT_GT(meanAbsoluteError(picture, generator.bgrFrame(index + 4000).pixels),
                meanAbsoluteError(picture, generator.bgrFrame(index).pixels));
    }
  }
}

TEST(JpegEncoder, HigherQualityGivesLargerCloserPictures) {
  JpegEncoder low, high;
  ASSERT_TRUE(low.open(320, 240, 10) && high.open(320, 240, 95));
  const PictureGenerator generator(320, 240);
  const std::vector<uint8_t> lowJpeg = low.encode(generator.yuvFrame(7));
  const std::vector<uint8_t> highJpeg = high.encode(generator.yuvFrame(7));
  EXPECT_LT(lowJpeg.size(), highJpeg.size());
  EXPECT_LT(meanAbsoluteError(decoded(highJpeg), generator.bgrFrame(7).pixels),
            meanAbsoluteError(decoded(lowJpeg), generator.bgrFrame(7).pixels));
  // Quality spans the whole quantiser range, from coarsest to finest.
  EXPECT_EQ(JpegEncoder::qscaleForQuality(1), 31);
  EXPECT_EQ(JpegEncoder::qscaleForQuality(100), 1);
  for (int quality = 2; quality <= 100; ++quality)
    EXPECT_LE(JpegEncoder::qscaleForQuality(quality), JpegEncoder::qscaleForQuality(quality - 1));
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
