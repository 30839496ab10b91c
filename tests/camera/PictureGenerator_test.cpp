#include "camera/PictureGenerator.h"

#include <gtest/gtest.h>

#include "camera/Picture.h"

namespace vexa::camera {
namespace {

TEST(PictureGenerator, SameIndexGivesSamePicture) {
  const PictureGenerator a(320, 240);
  const PictureGenerator b(320, 240);
  for (uint32_t index : {0u, 1u, 77u, 123456u, 0xFFFFFFFFu}) {
    EXPECT_EQ(a.bgrFrame(index).pixels, b.bgrFrame(index).pixels) << index;
  }
  BgrPicture reused = a.bgrFrame(5);
  a.render(9, reused);
  EXPECT_EQ(reused.pixels, a.bgrFrame(9).pixels);
}

TEST(PictureGenerator, ConsecutivePicturesDiffer) {
  const PictureGenerator generator(320, 240);
  for (uint32_t index = 0; index < 300; ++index) {
    ASSERT_NE(generator.bgrFrame(index).pixels, generator.bgrFrame(index + 1).pixels) << index;
  }
}

TEST(PictureGenerator, BoxMovesAndStaysInside) {
  const PictureGenerator generator(320, 240);
  const PictureRect first = generator.movingBox(0);
  const PictureRect next = generator.movingBox(1);
  EXPECT_NE(first.x, next.x);
  for (uint32_t index = 0; index < 2000; ++index) {
    const PictureRect box = generator.movingBox(index);
    ASSERT_GE(box.x, 0);
    ASSERT_GE(box.y, 0);
    ASSERT_LE(box.x + box.width, 320);
    ASSERT_LE(box.y + box.height, 240);
  }
}

TEST(PictureGenerator, BoxIsDrawnWhereItIsReported) {
  const PictureGenerator generator(320, 240);
  const BgrPicture picture = generator.bgrFrame(42);
  const PictureRect box = generator.movingBox(42);
  const uint8_t* centre = picture.row(box.y + box.height / 2) + 3 * (box.x + box.width / 2);
  EXPECT_EQ(centre[0], 32);  // blue
  EXPECT_EQ(centre[1], 128);
  EXPECT_EQ(centre[2], 240);  // red
}

TEST(PictureGenerator, CounterChangesWhenOnlyTheNumberDoes) {
  const PictureGenerator generator(320, 240);
  const PictureRect panel = generator.counterPanel();
  // Frames a whole box period apart have the box in the same place; only the digits differ.
  uint32_t period = 1;
  while (generator.movingBox(period).x != generator.movingBox(0).x ||
         generator.movingBox(period).y != generator.movingBox(0).y) {
    ++period;
  }
  const BgrPicture a = generator.bgrFrame(0);
  const BgrPicture b = generator.bgrFrame(period);
  int differing = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320 * 3; ++x) {
      if (a.row(y)[x] == b.row(y)[x]) continue;
      ++differing;
      const int column = x / 3;
      ASSERT_TRUE(column >= panel.x && column < panel.x + panel.width && y >= panel.y &&
                  y < panel.y + panel.height)
          << column << "," << y;
    }
  }
  EXPECT_GT(differing, 0);
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

TEST(YuvConversion, FollowsFullRangeJfifEquations) {
  struct Case {
    uint8_t b, g, r, y, u, v;
  };
  // JFIF: Y = .299R + .587G + .114B; Cb, Cr centred on 128 with no foot- or headroom.
  const Case cases[] = {
      {0, 0, 0, 0, 128, 128},   {255, 255, 255, 255, 128, 128}, {0, 0, 255, 76, 85, 255},
      {0, 255, 0, 150, 44, 21}, {255, 0, 0, 29, 255, 107},      {100, 100, 100, 100, 128, 128},
  };
  for (const Case& c : cases) {
    BgrPicture picture{2, 2, {}};
    for (int i = 0; i < 4; ++i) picture.pixels.insert(picture.pixels.end(), {c.b, c.g, c.r});
    const YuvPicture yuv = toYuv420(picture);
    EXPECT_EQ(yuv.y[3], c.y) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_NEAR(yuv.u[0], c.u, 1);
    EXPECT_NEAR(yuv.v[0], c.v, 1);
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
