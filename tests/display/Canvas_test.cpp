#include "display/Canvas.h"

#include <gtest/gtest.h>

#include "DisplayTestSupport.h"

namespace vexa {
namespace {

using test::Picture;

constexpr uint32_t kRed = 0xFF0000;  // 0x00RRGGBB
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;

// A picture whose top half (as shown) is blue and bottom half red.
Picture blueOverRed(int width, int height) {
  Picture picture = Picture::solid(width, height, kBlue);
  for (int row = height / 2; row < height; ++row) picture.setRowFromTop(row, kRed);
  return picture;
}

TEST(Canvas, FillTakesWindowsColourValues) {
  Canvas canvas(20, 10);
  canvas.fillRect({0, 0, 20, 10}, 0x0000FF);  // red as 0x00BBGGRR
  EXPECT_EQ(canvas.pixel(5, 5), kRed);
  canvas.fillRect({2, 3, 4, 5}, 0x282828);
  EXPECT_EQ(canvas.pixel(2, 3), 0x282828u);
  EXPECT_EQ(canvas.pixel(5, 7), 0x282828u);
  EXPECT_EQ(canvas.pixel(6, 7), kRed);
  EXPECT_EQ(canvas.pixel(5, 8), kRed);
  // Clipped at the edges, not refused.
  canvas.fillRect({-5, -5, 100, 100}, 0xFF0000);
  EXPECT_EQ(canvas.pixel(19, 9), kBlue);
}

TEST(Canvas, EvenPenCoversHalfEachSideOfTheLine) {
  Canvas canvas(20, 20);
  canvas.drawLine(0, 10, 20, 10, 4, 0xFFFFFF);
  EXPECT_EQ(canvas.pixel(5, 7), 0u);
  for (int y = 8; y <= 11; ++y) EXPECT_EQ(canvas.pixel(5, y), 0xFFFFFFu) << y;
  EXPECT_EQ(canvas.pixel(5, 12), 0u);
}

TEST(Canvas, PictureBottomRowLandsAtTheBottom) {
  const Picture picture = blueOverRed(16, 16);
  Canvas canvas(40, 40);
  canvas.drawPicture(picture.header, picture.bits.data(), 1, {0, 0, 16, 16}, {2, 3, 16, 16});
  EXPECT_EQ(canvas.pixel(5, 3), kBlue);
  EXPECT_EQ(canvas.pixel(5, 3 + 15), kRed);
  EXPECT_EQ(canvas.pixel(5, 3 + 16), 0u);  // nothing below the destination

  // Stretched to twice the size, the halves keep their places.
  canvas.drawPicture(picture.header, picture.bits.data(), 1, {0, 0, 16, 16}, {0, 0, 32, 32});
  EXPECT_EQ(canvas.pixel(10, 2), kBlue);
  EXPECT_EQ(canvas.pixel(10, 29), kRed);
}

TEST(Canvas, SourceRectangleCountsFromTheTop) {
  const Picture picture = blueOverRed(16, 16);
  Canvas canvas(16, 16);
  canvas.drawPicture(picture.header, picture.bits.data(), 1, {0, 8, 16, 8}, {0, 0, 16, 16});
  EXPECT_EQ(canvas.pixel(8, 0), kRed);
  EXPECT_EQ(canvas.pixel(8, 15), kRed);
  canvas.drawPicture(picture.header, picture.bits.data(), 1, {4, 0, 8, 8}, {0, 0, 16, 16});
  EXPECT_EQ(canvas.pixel(8, 15), kBlue);
}

TEST(Canvas, RowsOfOddWidthsAreExactlyThreeBytesPerPixel) {
  // Width 5: a padded-row reading would shift every row above the first.
  Picture picture = Picture::solid(5, 3, 0);
  const uint32_t colours[3] = {kRed, kGreen, kBlue};
  for (int row = 0; row < 3; ++row) picture.setRowFromTop(row, colours[row]);
  Canvas canvas(5, 3);
  canvas.drawPicture(picture.header, picture.bits.data(), 1, {0, 0, 5, 3}, {0, 0, 5, 3});
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(canvas.pixel(x, y), colours[y]) << x << "," << y;
  }
}

TEST(Canvas, UnchangedPictureIsNotStretchedAgainUnlessDrawnOver) {
  const Picture picture = blueOverRed(64, 48);
  Canvas canvas(200, 150);
  const Rect all{0, 0, 64, 48};
  const Rect target{10, 10, 160, 120};
  canvas.drawPicture(picture.header, picture.bits.data(), 7, all, target);
  canvas.drawPicture(picture.header, picture.bits.data(), 7, all, target);
  EXPECT_EQ(canvas.stretchCount(), 1u);

  // Drawing beside the picture leaves it intact.
  canvas.fillRect({0, 0, 200, 8}, 0x00FF00);
  canvas.drawLine(0, 140, 200, 140, 2, 0x0000FF);
  canvas.drawPicture(picture.header, picture.bits.data(), 7, all, target);
  EXPECT_EQ(canvas.stretchCount(), 1u);

  // Something drew over the picture: the redraw restores it.
  canvas.fillRect({0, 0, 200, 150}, 0x00FF00);
  canvas.drawPicture(picture.header, picture.bits.data(), 7, all, target);
  EXPECT_EQ(canvas.stretchCount(), 2u);
  EXPECT_EQ(canvas.pixel(50, 12), kBlue);
  EXPECT_EQ(canvas.pixel(50, 127), kRed);

  canvas.drawPicture(picture.header, picture.bits.data(), 8, all, target);  // a new picture
  EXPECT_EQ(canvas.stretchCount(), 3u);
  canvas.drawPicture(picture.header, picture.bits.data(), 8, all, {0, 0, 80, 60});
  EXPECT_EQ(canvas.stretchCount(), 4u);
  canvas.drawPicture(picture.header, picture.bits.data(), 8, {0, 0, 32, 24}, {0, 0, 80, 60});
  EXPECT_EQ(canvas.stretchCount(), 5u);
}

TEST(Canvas, StretchMapsEveryDestinationPixelToTheNearestSourcePixel) {
  // A picture whose every pixel is distinct: the stretch must pick source pixel (x * w / W, y * h / H).
  constexpr int kWidth = 7, kHeight = 5;
  BITMAPINFOHEADER header = makeBgrPictureHeader(kWidth, kHeight);
  std::vector<uint8_t> bits(size_t(kWidth) * kHeight * 3);
  auto colourOf = [](int x, int y) { return uint32_t((x * 16) << 16 | (y * 16) << 8 | (x + y)); };
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = bits.data() + (size_t(kHeight - 1 - y) * kWidth + x) * 3;  // bottom-up
      const uint32_t c = colourOf(x, y);
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  }
  for (const Rect target : {Rect{0, 0, 7, 5}, Rect{1, 2, 20, 13}, Rect{0, 0, 3, 2}}) {
    Canvas canvas(24, 16);
    canvas.drawPicture(header, bits.data(), 1, {0, 0, kWidth, kHeight}, target);
    for (int y = 0; y < target.height; ++y) {
      for (int x = 0; x < target.width; ++x) {
        ASSERT_EQ(canvas.pixel(target.x + x, target.y + y),
                  colourOf(x * kWidth / target.width, y * kHeight / target.height))
            << x << "," << y << " in " << target.width << "x" << target.height;
      }
    }
  }
}

TEST(Canvas, DestinationBeyondTheEdgesIsClipped) {
  const Picture picture = blueOverRed(16, 16);
  Canvas canvas(20, 20);
  canvas.drawPicture(picture.header, picture.bits.data(), 1, {0, 0, 16, 16}, {-8, 12, 32, 32});
  EXPECT_EQ(canvas.pixel(0, 12), kBlue);
  EXPECT_EQ(canvas.pixel(19, 19), kBlue);
  EXPECT_EQ(canvas.pixel(0, 11), 0u);
}

TEST(Canvas, TinyPicturesAndBadHeadersAreSafe) {
  Canvas canvas(10, 10);
  const Picture dot = Picture::solid(1, 1, kGreen);
  canvas.drawPicture(dot.header, dot.bits.data(), 1, {0, 0, 1, 1}, {0, 0, 10, 10});
  EXPECT_EQ(canvas.pixel(9, 9), kGreen);

  BITMAPINFOHEADER bad = dot.header;
  bad.biWidth = 0;
  canvas.fillRect({0, 0, 10, 10}, 0);
  canvas.drawPicture(bad, dot.bits.data(), 2, {0, 0, 1, 1}, {0, 0, 10, 10});
  canvas.drawPicture(dot.header, nullptr, 3, {0, 0, 1, 1}, {0, 0, 10, 10});
  canvas.drawPicture(dot.header, dot.bits.data(), 4, {5, 5, 1, 1}, {0, 0, 10, 10});  // outside
  EXPECT_EQ(canvas.pixel(5, 5), 0u);
}

}  // namespace
}  // namespace vexa
