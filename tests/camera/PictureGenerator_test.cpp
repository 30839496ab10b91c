#include "camera/PictureGenerator.h"

#include <gtest/gtest.h>

#include "camera/Picture.h"

namespace vexa::camera {
namespace {

TEST(PictureGenerator, SameIndexGivesSamePictureAndConsecutiveOnesDiffer) {
  const PictureGenerator a(320, 240), b(320, 240);
  for (uint32_t index : {0u, 123456u, 0xFFFFFFFFu}) {
    EXPECT_EQ(a.bgrFrame(index).pixels, b.bgrFrame(index).pixels) << index;
  }
  BgrPicture reused = a.bgrFrame(5);
  a.render(9, reused);
  EXPECT_EQ(reused.pixels, a.bgrFrame(9).pixels);
  for (uint32_t index = 0; index < 300; ++index) {
    ASSERT_NE(a.bgrFrame(index).pixels, a.bgrFrame(index + 1).pixels) << index;
  }
}

TEST(PictureGenerator, BoxMovesStaysInsideAndIsDrawnWhereItIsReported) {
  const PictureGenerator generator(320, 240);
  EXPECT_NE(generator.movingBox(0).x, generator.movingBox(1).x);
  for (uint32_t index = 0; index < 2000; ++index) {
    const PictureRect box = generator.movingBox(index);
    ASSERT_TRUE(box.x >= 0 && box.y >= 0 && box.x + box.width <= 320 && box.y + box.height <= 240)
        << index;
  }
  const BgrPicture picture = generator.bgrFrame(42);
  const PictureRect box = generator.movingBox(42);
  const uint8_t* centre = picture.row(box.y + box.height / 2) + 3 * (box.x + box.width / 2);
  EXPECT_EQ(centre[0], 32);  // blue
  EXPECT_EQ(centre[1], 128);
  EXPECT_EQ(centre[2], 240);  // red
}

TEST(PictureGenerator, DrawsAnySizeWithinBounds) {
  for (auto [width, height] : {std::pair{1, 1}, {2, 3}, {17, 9}, {33, 301}, {1920, 1080}}) {
    const PictureGenerator generator(width, height);
    for (uint32_t index : {0u, 999999u, 4000000000u}) {
      const BgrPicture picture = generator.bgrFrame(index);
      EXPECT_EQ(picture.pixels.size(), size_t(width) * size_t(height) * 3);
      const YuvPicture yuv = generator.yuvFrame(index);
      EXPECT_EQ(yuv.u.size(), size_t((width + 1) / 2) * size_t((height + 1) / 2));
    }
  }
}

TEST(YuvConversion, AveragesChromaOverEachBlockIncludingOddEdges) {
  BgrPicture picture{3, 1, {0, 0, 255, 255, 0, 0, 0, 255, 0}};  // red, blue, green
  const YuvPicture yuv = toYuv420(picture);
  ASSERT_EQ(yuv.u.size(), 2u);
  // The first chroma sample mixes red and blue, the second is the lone green pixel.
  const BgrPicture mixed{1, 1, {128, 0, 128}};
  EXPECT_NEAR(yuv.u[0], toYuv420(mixed).u[0], 1);
  EXPECT_NEAR(yuv.v[0], toYuv420(mixed).v[0], 1);
  EXPECT_EQ(yuv.u[1], 44);
  EXPECT_EQ(yuv.v[1], 21);
}

}  // namespace
}  // namespace vexa::camera
