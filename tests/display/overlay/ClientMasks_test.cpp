#include "display/overlay/ClientMasks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "display/CImgDlg.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/FakeStreamView.h"

namespace vexa {
namespace {

constexpr uint8_t kGrey = 128;

// A grey bottom-up picture.
std::vector<uint8_t> greyPicture(int width, int height) {
  return std::vector<uint8_t>(size_t(width) * size_t(height) * 3, kGrey);
}

// The bytes of the pixel at (x, y), y counted from the top.
std::tuple<int, int, int> pixelAt(const std::vector<uint8_t>& bits, int width, int height, int x,
                                  int y) {
  const uint8_t* p = &bits[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 3];
  return {p[0], p[1], p[2]};
}

TEST(ClientMasks, ColourAndOpacityBlendEveryByte) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    int red, green, blue;
    double alpha;
    std::tuple<int, int, int> greyBecomes;  // blue, green, red
  } cases[] = {
      {255, 0, 0, 0.5, {64, 64, 191}},
      {255, 0, 0, 2.0, {0, 0, 255}},     // alpha above 1 is 1
      {0, 300, -5, 1.0, {0, 255, 0}},    // channels clamped
      {0, 0, 255, 0.999, {253, 1, 1}},   // opacity truncated to 99 %
      {255, 255, 255, -1, {kGrey, kGrey, kGrey}},
      {255, 255, 255, kNan, {kGrey, kGrey, kGrey}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alpha);
    ClientMasks masks;
    ASSERT_TRUE(masks.add("all", 0, 0, 80, 60));
    masks.setColour(c.red, c.green, c.blue, c.alpha);
    std::vector<uint8_t> bits = greyPicture(32, 32);
    masks.apply(bits.data(), 32, 32);
    EXPECT_EQ(pixelAt(bits, 32, 32, 31, 0), c.greyBecomes);
  }
}

// The unit space maps onto whole cells, counted from the top; a partial cell at the right or
// bottom edge of a picture whose size is no multiple of 16 is painted too.
TEST(ClientMasks, MasksCoverTheirCellsOnAnySize) {
  const struct {
    int width, height;
    int x, y, w, h;
    int left, top, right, bottom;  // the painted pixels, inclusive
  } cases[] = {
      {1280, 720, 40, 30, 20, 15, 640, 352, 959, 527},   // 45 cells down
      {1920, 1080, 0, 59, 80, 1, 0, 1056, 1919, 1079},   // 67.5 cells down: the last one partial
      {1920, 1080, 79, 0, 5, 60, 1888, 0, 1919, 1079},   // width cut to the space
      {640, 480, -5, 70, 200, 10, 0, 464, 639, 479},      // clamped into the space
      {1000, 600, 79, 59, 1, 1, 992, 592, 999, 599},      // 62.5 x 37.5 cells
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    ClientMasks masks;
    masks.add("m", c.x, c.y, c.w, c.h);
    masks.setColour(0, 0, 0, 1);
    std::vector<uint8_t> bits = greyPicture(c.width, c.height);
    masks.apply(bits.data(), c.width, c.height);
    const auto painted = [&](int x, int y) {
      return std::get<0>(pixelAt(bits, c.width, c.height, x, y)) == 0;
    };
    EXPECT_TRUE(painted(c.left, c.top));
    EXPECT_TRUE(painted(c.right, c.bottom));
    if (c.left > 0) EXPECT_FALSE(painted(c.left - 1, c.top));
    if (c.top > 0) EXPECT_FALSE(painted(c.left, c.top - 1));
    if (c.right + 1 < c.width) EXPECT_FALSE(painted(c.right + 1, c.bottom));
    if (c.bottom + 1 < c.height) EXPECT_FALSE(painted(c.right, c.bottom + 1));
  }
}

// Drawn with the masks as a tint, every byte value comes out as the picture painted by the
// formula would have.
TEST(ClientMasks, TheTintDrawsWhatPaintingWouldHave) {
  constexpr int kWidth = 256, kHeight = 16;
  std::vector<uint8_t> picture(size_t(kWidth) * kHeight * 3);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i / 3 + i % 3 * 85);
  const BITMAPINFOHEADER header = makeBgrPictureHeader(kWidth, kHeight);
  for (const double alpha : {0.5, 0.33, 0.99, 1.0}) {
    ClientMasks masks;
    masks.add("all", 0, 0, 80, 60);
    masks.setColour(200, 17, 255, alpha);
    std::vector<uint8_t> painted = picture;
    masks.apply(painted.data(), kWidth, kHeight);
    Canvas canvas(kWidth, kHeight);
    canvas.drawPicture(header, picture.data(), 1, {0, 0, kWidth, kHeight},
                       {0, 0, kWidth, kHeight}, masks.tintFor(kWidth, kHeight));
    for (int x = 0; x < kWidth; ++x) {
      const auto [blue, green, red] = pixelAt(painted, kWidth, kHeight, x, 3);
      ASSERT_EQ(canvas.pixel(x, 3), uint32_t(red << 16 | green << 8 | blue)) << alpha << " " << x;
    }
  }
}

TEST(ClientMasks, RemovalsAndCaps) {
  ClientMasks masks;
  masks.add("a", 0, 0, 10, 10);
  masks.add("a", 10, 0, 10, 10);
  masks.remove("a");
  masks.remove("none");
  EXPECT_EQ(masks.size(), 1u);
  EXPECT_FALSE(masks.add(std::string(ClientMasks::kMaxNameBytes + 1, 'n'), 0, 0, 1, 1));
  while (masks.size() < ClientMasks::kMaxMasks) ASSERT_TRUE(masks.add("b", 0, 0, 1, 1));
  EXPECT_FALSE(masks.add("c", 0, 0, 1, 1));
  EXPECT_EQ(masks.size(), ClientMasks::kMaxMasks);
}

// The window shows the masks but never paints into the decoder's lent picture; the stream test
// covers the snapshot.
TEST(ClientMasks, TheWindowBlendsThemWithoutTouchingTheLentPicture) {
  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  test::FakeStreamView view;
  view.h264 = true;
  CImgDlg window{&view, nullptr, loop, 320, 240};
  window.create();
  window.AddClientMask("left half", 0, 0, 40, 60);
  window.SetClientMaskColor(255, 0, 0, 0.5);
  view.picture = test::Picture{makeBgrPictureHeader(64, 48), greyPicture(64, 48)};
  ++view.frameNumber;
  for (int step = 0; step < 3; ++step) {
    clock.advance(CImgDlg::kDrawPeriodMs);
    loop.runDue();
  }
  ASSERT_EQ(int(window.pictureHeader().biWidth), 64);
  // The video rectangle is (2, 2, 316, 236): x 10 shows picture column 1, x 300 column 60.
  EXPECT_EQ(window.presentCanvas().pixel(10, 10), 0xBF4040u);
  EXPECT_EQ(window.presentCanvas().pixel(300, 10), 0x808080u);
  EXPECT_EQ(view.decoded.leaseNewest().bits()[0], kGrey) << "the decoder's picture was painted";
}

}  // namespace
}  // namespace vexa
