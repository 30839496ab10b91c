#include "display/Canvas.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "display/PictureTint.h"
#include "media/PictureExchange.h"
#include "support/Picture.h"
#include "support/Planes.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace vexa {
namespace {

using test::Picture;

constexpr uint32_t kRed = 0xFF0000;  // 0x00RRGGBB
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;

TEST(Canvas, FillTakesWindowsColourValuesAndClips) {
  Canvas canvas(20, 10);
  canvas.fillRect({0, 0, 20, 10}, 0x0000FF);  // red as 0x00BBGGRR
  EXPECT_EQ(canvas.pixel(5, 5), kRed);
  canvas.fillRect({2, 3, 4, 5}, 0x282828);
  EXPECT_EQ(
      std::tuple(canvas.pixel(2, 3), canvas.pixel(5, 7), canvas.pixel(6, 7), canvas.pixel(5, 8)),
      std::tuple(0x282828u, 0x282828u, kRed, kRed));
  canvas.fillRect({-5, -5, 100, 100}, 0xFF0000);
  EXPECT_EQ(canvas.pixel(19, 9), kBlue);
}

TEST(Canvas, StretchMapsEveryDestinationPixelToTheNearestSourcePixel) {
  // Every pixel distinct, bottom-up rows of an odd width: a flip, a padded-row reading or a wrong
  // source pixel all show.
  constexpr int kWidth = 7, kHeight = 5;
  auto colourOf = [](int x, int y) { return uint32_t((x * 16) << 16 | (y * 16) << 8 | (x + y)); };
  Picture picture = Picture::solid(kWidth, kHeight, 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = picture.bits.data() + (size_t(kHeight - 1 - y) * kWidth + x) * 3;
      const uint32_t c = colourOf(x, y);
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  }
  const struct {
    Rect source, target;
  } cases[] = {{{0, 0, 7, 5}, {0, 0, 7, 5}}, {{0, 0, 7, 5}, {1, 2, 20, 13}},
               {{0, 0, 7, 5}, {0, 0, 3, 2}}, {{0, 2, 7, 3}, {0, 0, 14, 6}},  // source from the top
               {{3, 1, 2, 2}, {4, 4, 8, 8}}, {{0, 0, 7, 5}, {-6, 5, 28, 20}}};  // clipped
  for (const auto& [source, target] : cases) {
    Canvas canvas(24, 16);
    canvas.drawPicture(picture.header, picture.bits.data(), 1, source, target);
    for (int y = 0; y < canvas.height(); ++y) {
      for (int x = 0; x < canvas.width(); ++x) {
        const int tx = x - target.x, ty = y - target.y;
        const bool inside = tx >= 0 && ty >= 0 && tx < target.width && ty < target.height;
        ASSERT_EQ(canvas.pixel(x, y), inside
                                          ? colourOf(source.x + tx * source.width / target.width,
                                                     source.y + ty * source.height / target.height)
                                          : 0u)
            << x << "," << y << " for target " << target.x << "," << target.y << " " << target.width
            << "x" << target.height;
      }
    }
  }
}

TEST(Canvas, UnchangedPictureIsNotStretchedAgainUnlessDrawnOver) {
  const Picture picture = Picture::bands(64, 48, {kBlue, kRed});
  Canvas canvas(200, 150);
  const Rect all{0, 0, 64, 48};
  const Rect target{10, 10, 160, 120};
  auto draw = [&](uint64_t serial, const Rect& source, const Rect& to) {
    canvas.drawPicture(picture.header, picture.bits.data(), serial, source, to);
  };
  draw(7, all, target);
  draw(7, all, target);
  EXPECT_EQ(canvas.stretchCount(), 1u);
  // Drawing beside the picture leaves it intact.
  canvas.fillRect({0, 0, 200, 8}, 0x00FF00);
  canvas.drawLine(0, 140, 200, 140, 2, 0x0000FF);
  draw(7, all, target);
  EXPECT_EQ(canvas.stretchCount(), 1u);
  // Something drew over the picture: the redraw restores it.
  canvas.fillRect({0, 0, 200, 150}, 0x00FF00);
  draw(7, all, target);
  EXPECT_EQ(canvas.stretchCount(), 2u);
  EXPECT_EQ(canvas.pixel(50, 12), kBlue);
  EXPECT_EQ(canvas.pixel(50, 127), kRed);
  // A new picture, target or source is stretched again.
  draw(8, all, target);
  draw(8, all, {0, 0, 80, 60});
  draw(8, {0, 0, 32, 24}, {0, 0, 80, 60});
  EXPECT_EQ(canvas.stretchCount(), 5u);
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

// Painting from the decoder's planes at the size shown gives what converting the whole picture to
// BGR and stretching that gave: the same luma picked in every layout, so within 3 per byte while
// the chroma is flat (the scaler rounds 4:2:2 and 4:4:4 a little differently from 4:2:0). Chroma
// is picked once per two by two pixels shown, so where it changes a pixel may take its
// neighbour's: one chroma step more.
TEST(Canvas, PaintingFromPlanesMatchesConvertingFirstThenStretching) {
  struct Case {
    AVPixelFormat format;
    int width, height;
    Rect source, destination;
    bool tinted;
  };
  const Case cases[] = {
      {AV_PIX_FMT_YUV420P, 1920, 1080, {0, 0, 1920, 1080}, {2, 2, 316, 176}, false},  // shrunk
      {AV_PIX_FMT_YUV420P, 480, 270, {0, 0, 480, 270}, {2, 2, 316, 176}, true},  // by 1.5
      {AV_PIX_FMT_YUVJ420P, 65, 47, {0, 0, 65, 47}, {3, 3, 300, 200}, true},        // enlarged
      {AV_PIX_FMT_YUV422P, 161, 121, {0, 0, 161, 121}, {-10, 5, 200, 150}, false},  // clipped
      {AV_PIX_FMT_YUV444P, 100, 80, {10, 10, 51, 41}, {0, 0, 320, 240}, true},     // zoomed
      {AV_PIX_FMT_GRAY8, 90, 61, {0, 0, 90, 61}, {1, 1, 45, 30}, false},
  };
  PictureTint tint;
  tint.areas = {{5, 5, 20, 10}};
  tint.keep = 50;
  tint.add = {0, 0, 12700};
  tint.version = 1;
  const test::SampleAt flatChroma = [](int plane, int x, int y) {
    return plane == 0 ? test::smoothSample(plane, x, y) : uint8_t(plane == 1 ? 90 : 170);
  };
  for (const Case& c : cases) {
    for (const auto& [sample, tolerance] : {std::pair{flatChroma, 3}, {test::SampleAt(test::smoothSample), 6}}) {
      SCOPED_TRACE(testing::Message() << av_get_pix_fmt_name(c.format) << " tolerance " << tolerance);
      PictureExchange exchange(size_t(c.width) * size_t(c.height) * 3, SWS_BILINEAR);
      const test::FramePtr planes = test::makePlanes(c.width, c.height, c.format, sample);
      av_frame_ref(exchange.writableFrame(), planes.get());
      ASSERT_TRUE(exchange.publishFrame());
      const ShownPicture shown{makeBgrPictureHeader(c.width, c.height), nullptr,
                               exchange.leaseNewest()};
      const std::vector<uint8_t> bgr = test::eagerBgr(*planes, SWS_BILINEAR);
      const PictureTint* tinted = c.tinted ? &tint : nullptr;

      Canvas converted(320, 240), painted(320, 240);
      converted.drawPicture(shown.header, bgr.data(), 1, c.source, c.destination, tinted);
      painted.drawPicture(shown, 1, c.source, c.destination, tinted);
      int worst = 0;
      for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
          const uint32_t a = converted.pixel(x, y), b = painted.pixel(x, y);
          for (int shift = 0; shift < 24; shift += 8) {
            worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
          }
        }
      }
      EXPECT_LE(worst, tolerance);
      EXPECT_NE(painted.pixel(c.destination.x + 20, c.destination.y + 20), 0u);
    }
  }
}

}  // namespace
}  // namespace vexa
