#include "display/ViewFrame.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

const Rect kClient{0, 0, 800, 600};

TEST(ViewFrame, LayoutPlacesTheVideoRectangleInEveryMode) {
  const struct {
    const char* name;
    int mode;
    Rect client;
    int pictureWidth, pictureHeight;
    Rect expected;
  } cases[] = {// Stretch: the inner area inside a 2-pixel border, whatever the picture.
               {"Stretch", 0, kClient, 640, 480, {2, 2, 796, 596}},
               {"StretchOffsetClient", 0, {10, 20, 100, 50}, 1920, 1080, {12, 22, 96, 46}},
               // Real size: unscaled and centred when it fits.
               {"RealSizeFits", 1, kClient, 640, 480, {80, 60, 640, 480}},
               // Too large and narrower than the area: full height, 5:4 kept.
               {"RealSizeTall", 1, kClient, 1280, 1024, {27, 2, 745, 596}},
               // Too large and wider: full width, centred vertically.
               {"RealSizeWide", 1, kClient, 1920, 1080, {2, 76, 796, 447}},
               {"RealSizeExactInner", 1, kClient, 796, 596, {2, 2, 796, 596}},
               {"WholeClient", 2, kClient, 640, 480, {0, 0, 800, 600}},
               // Fit: no border, no real-size case.
               {"FitTall", 3, {0, 0, 1920, 1080}, 640, 480, {240, 0, 1440, 1080}},
               {"FitWide", 3, {0, 0, 1280, 1024}, 1920, 800, {0, 245, 1280, 533}},
               {"FitSmallIsEnlarged", 3, kClient, 320, 240, {0, 0, 800, 600}},
               // Before the first picture: the area the picture will take.
               {"RealSizeNoPicture", 1, kClient, 0, 0, {2, 2, 796, 596}},
               {"FitNoPicture", 3, kClient, 0, 0, {0, 0, 800, 600}}};
  for (const auto& c : cases) {
    const Rect video = ViewFrame::layout(c.mode, c.client, c.pictureWidth, c.pictureHeight);
    EXPECT_EQ(video, c.expected) << c.name << ": " << video.x << "," << video.y << " "
                                 << video.width << "x" << video.height;
  }
}

TEST(ViewFrame, RecomputesOnlyWhenModeOrPictureSizeChange) {
  ViewFrame frame(800, 600);
  EXPECT_EQ(frame.videoRect(), (Rect{2, 2, 796, 596}));
  EXPECT_FALSE(frame.update(ViewFrame::kStretch, 640, 480));  // mode 0 ignores picture sizes
  EXPECT_FALSE(frame.update(ViewFrame::kStretch, 320, 240));
  EXPECT_TRUE(frame.update(ViewFrame::kRealSize, 320, 240));
  EXPECT_EQ(frame.videoRect(), (Rect{240, 180, 320, 240}));
  EXPECT_FALSE(frame.update(ViewFrame::kRealSize, 320, 240));
  EXPECT_TRUE(frame.update(ViewFrame::kRealSize, 640, 480));
  EXPECT_EQ(frame.videoRect(), (Rect{80, 60, 640, 480}));

  frame.resize(400, 300);
  EXPECT_EQ(frame.canvas().width(), 400);
  // 640 x 480 no longer fits: scaled to the inner height, 396 / 296 being wider than 4:3.
  EXPECT_EQ(frame.videoRect(), (Rect{3, 2, 394, 296}));
}

TEST(ViewFrame, BarsCoverTheClientAroundThePictureExactly) {
  ViewFrame frame(800, 600);
  frame.update(ViewFrame::kRealSize, 640, 480);
  frame.canvas().fillRect(frame.clientRect(), 0xFFFFFF);
  frame.paintBars();
  // Black up to the picture's edge on every side, white from it.
  const struct {
    int x, y;
    uint32_t colour;
  } pixels[] = {{79, 300, 0}, {80, 300, 0xFFFFFF}, {719, 300, 0xFFFFFF}, {720, 300, 0},
                {400, 59, 0}, {400, 60, 0xFFFFFF}, {400, 539, 0xFFFFFF}, {400, 540, 0},
                {0, 0, 0},    {799, 599, 0}};
  for (const auto& p : pixels)
    EXPECT_EQ(frame.canvas().pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

}  // namespace
}  // namespace vexa
