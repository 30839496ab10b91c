#include "display/overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "display/overlay/OverlayProfile.h"

namespace vexa {
namespace {

TEST(OverlayProfile, DescriptionChoosesGridTypeAndOrigin) {
  struct Case {
    std::string model, sensor, resolution, web;
    int kind, current;
    OverlayGridChoice expected;
  };
  const Case cases[] = {
      {"TQ311", "OV7725", "640x480", "", 0, 0, {1, true, 0, 0}},
      {"TQ311", "ICX445", "640x480", "", 0, 0, {2, true, 0, 0}},
      {"TQ311", "ICX445", "1280x960", "", 0, 0, {3, true, 0, 0}},
      {"TQ312", "OV2715", "640x480", "", 0, 0, {4, true, 0, 0}},
      {"TQ312", "OV2715", "1280x1024", "", 0, 0, {6, true, 10, 0}},
      {"TQ312", "OV2715", "1280x1024", "", 2, 0, {6, true, 6, 0}},
      {"TQ312", "IMX035", "640x480", "0.1", 1, 0, {5, true, 0, 4}},
      {"TQ312", "IMX035", "640x480", "0.2", 1, 0, {4, true, 0, 0}},
      {"TQ312", "IMX035", "1280x1024", "0.1", 1, 0, {4, true, 0, 0}},
      {"TQ323", "", "1280x1024", "", 0, 0, {10}},
      {"TQ323", "", "1920x1080", "", 0, 0, {7}},
      {"TQ323", "", "2048x1536", "", 0, 0, {8}},
      {"TQ323", "", "2592x1944", "", 0, 0, {9}},
      {"TQ323", "", "640x480", "", 0, 8, {8}},  // keeps the current type and origin
      {"", "", "", "", 1, 5, {0, true, 0, 0}},
      {"tq311", "OV7725", "", "", 1, 5, {0, true, 0, 0}},
      {std::string("TQ311\0x", 7), "", "", "", 1, 5, {0, true, 0, 0}},
      {std::string(1 << 20, 'T'), "", "", "", 1, 5, {0, true, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.substr(0, 8) + " " + c.sensor + " " + c.resolution + " " + c.web);
    const OverlayProfile profile{c.model, c.sensor, c.resolution, c.web};
    EXPECT_EQ(profile.choose(c.kind, c.current), c.expected);
  }
}

TEST(OverlayGeometry, EachRowOfTheGridTable) {
  constexpr int kNone = -1;  // the row leaves the origin alone
  struct Case {
    int type, kind, width, height;
    int64_t spaceW, spaceH, gridC, gridR, visC, visR, offX, offY;
    bool odd;
    int originX, originY, marginCell;
  };
  const Case cases[] = {
      {1, 0, 1280, 720, 160, 128, 160, 128, 160, 90, 0, 19, false, kNone, 0, 0},
      {1, 1, 640, 480, 40, 32, 40, 32, 40, 32, 0, 0, false, kNone, 0, 0},
      {3, 0, 1280, 960, 160, 120, 160, 120, 160, 120, 0, 0, false, kNone, 0, 0},
      {3, 1, 1280, 720, 40, 30, 40, 30, 40, 22, 0, 4, false, kNone, 0, 0},
      {2, 0, 640, 480, 160, 120, 160, 120, 120, 90, 20, 15, false, kNone, 0, 0},
      {2, 1, 640, 480, 40, 30, 40, 30, 31, 23, 4, 3, true, kNone, 0, 0},
      {2, 1, 352, 240, 40, 30, 40, 30, 40, 23, 0, 3, false, kNone, 0, 0},  // centred in 30 rows
      {4, 0, 1000, 600, 60, 33, 31, 18, 31, 18, 0, 0, false, kNone, 0, 32},
      {4, 1, 1000, 600, 40, 30, 40, 30, 40, 30, 0, 0, false, kNone, 0, 0},
      {5, 0, 1280, 720, 60, 24, 40, 22, 40, 22, 0, 0, false, kNone, 0, 32},
      {5, 1, 1280, 720, 40, 21, 40, 21, 40, 21, 0, 0, false, kNone, 0, 0},
      {6, 0, 1280, 1024, 40, 32, 40, 32, 40, 32, 0, 0, false, kNone, 0, 32},
      {6, 1, 1280, 1024, 28, 30, 28, 30, 28, 30, 0, 0, false, kNone, 0, 0},
      {7, 0, 1920, 1080, 120, 67, 120, 67, 120, 67, 0, 0, false, 0, 0, 16},
      {7, 1, 1920, 1080, 40, 30, 40, 30, 40, 30, 0, 0, false, 0, 0, 0},
      {7, 2, 1920, 1080, 480, 270, 480, 270, 480, 270, 0, 0, false, 0, 0, 0},
      {8, 0, 1920, 1080, 128, 96, 128, 96, 120, 67, 4, 14, false, 0, 0, 16},
      {8, 0, 1280, 720, 120, 67, 80, 45, 80, 45, 0, 0, false, 4, 14, 16},
      {8, 1, 1920, 1080, 40, 30, 40, 30, 37, 21, 1, 4, false, 0, 0, 0},  // sensor window
      {8, 1, 1280, 720, 37, 21, 37, 21, 37, 21, 0, 0, false, 1, 4, 0},
      {8, 2, 1920, 1080, 480, 270, 480, 270, 480, 270, 0, 0, false, 16, 57, 0},
      {8, 2, 2048, 1536, 512, 384, 512, 384, 512, 384, 0, 0, false, 0, 0, 0},
      {9, 0, 2592, 1944, 162, 121, 162, 121, 162, 121, 0, 0, false, 0, 0, 16},
      {9, 0, 1280, 720, 120, 67, 80, 45, 80, 45, 0, 0, false, 21, 26, 16},
      {9, 1, 1920, 1080, 40, 30, 40, 30, 29, 17, 5, 6, false, 0, 0, 0},
      {9, 1, 4000, 3000, 40, 30, 40, 30, 40, 30, 0, 0, false, 0, 0, 0},  // capped to the sensor
      {9, 1, 1280, 720, 29, 17, 29, 17, 29, 17, 0, 0, false, 5, 6, 0},
      {9, 2, 2592, 1944, 648, 486, 648, 486, 648, 486, 0, 0, false, 0, 0, 0},
      {9, 2, 1920, 1080, 480, 270, 480, 270, 480, 270, 0, 0, false, 84, 108, 0},
      {9, 2, 2048, 1536, 512, 384, 512, 384, 512, 384, 0, 0, false, 68, 51, 0},
      {10, 0, 1280, 720, 80, 64, 80, 64, 80, 45, 0, 0, false, 0, 0, 16},
      {10, 1, 1280, 720, 40, 30, 40, 30, 40, 21, 0, 0, false, 0, 0, 0},
      {0, 1, 640, 480, 80, 60, 40, 30, 40, 30, 0, 0, false, kNone, 0, 0},
      {1, 2, 640, 480, 80, 60, 40, 30, 40, 30, 0, 0, false, kNone, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << c.type << " kind " << c.kind << " " << c.width << "x" << c.height);
    const OverlayGeometry g = computeOverlayGeometry(c.type, c.kind, c.width, c.height, 0);
    EXPECT_EQ(std::tuple(g.spaceWidth, g.spaceHeight, g.gridCols, g.gridRows, g.visibleCols,
                         g.visibleRows, g.offsetX, g.offsetY, g.odd, g.marginCell),
              std::tuple(c.spaceW, c.spaceH, c.gridC, c.gridR, c.visC, c.visR, c.offX, c.offY,
                         c.odd, c.marginCell));
    EXPECT_EQ(g.setsOrigin, c.originX != kNone);
    if (g.setsOrigin) EXPECT_EQ(std::pair(g.originX, g.originY), std::pair(c.originX, c.originY));
    EXPECT_TRUE(g.usable());
  }
}

TEST(OverlayGeometry, QuarterTurnsSwapAndMarginsFollowThePictureAsSent) {
  // The camera sends 1080 x 1920 for a quarter turn of its 1920 x 1080 grid: 67 cells and a half
  // across, 120 down. The half cell is the right margin, 8 picture pixels = 4 window pixels.
  const OverlayGeometry g = computeOverlayGeometry(7, 0, 1080, 1920, 4);
  EXPECT_EQ(g.visibleCols, 67);
  EXPECT_EQ(g.visibleRows, 120);
  EXPECT_EQ(g.cellsAlongX(), 120);
  const OverlayArea area = overlayArea(g, Rect{10, 20, 540, 960});
  EXPECT_EQ(area.right, 10 + 540 - 1 - 4);
  EXPECT_EQ(area.bottom, 20 + 960 - 1);

  const OverlayArea m32 =
      overlayArea(computeOverlayGeometry(4, 0, 1000, 600, 0), {10, 20, 500, 300});
  EXPECT_EQ(m32.right, 10 + 500 - 1 - 4);    // 8 of 1000 pixels
  EXPECT_EQ(m32.bottom, 20 + 300 - 1 - 12);  // 24 of 600

  // Below one cell of 32 there is no grid: nothing may be converted, nothing divides by zero.
  EXPECT_FALSE(computeOverlayGeometry(4, 0, 31, 600, 0).usable());
  EXPECT_FALSE(computeOverlayGeometry(2, 1, 640, 0, 0).usable());
  EXPECT_EQ(scale(5, 0, 7), 0);
  EXPECT_EQ(scale(1, 3, 10), 4);  // up: rounds up
  EXPECT_EQ(scale(5, 10, 3), 1);  // down: truncates
}

}  // namespace
}  // namespace vexa
