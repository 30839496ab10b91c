#include "display/DigitalZoom.h"

#include <gtest/gtest.h>

#include <random>

namespace vexa {
namespace {

using Step = DigitalZoom::Step;

void zoomTo(DigitalZoom& zoom, int factor) {
  zoom.reset();
  for (int i = 1; i < factor; ++i) zoom.apply(Step::kIn);
}

TEST(DigitalZoom, CentredSourceShrinksWithTheZoom) {
  DigitalZoom zoom;
  EXPECT_EQ(zoom.sourceRect(640, 480, 1920, 1080), (Rect{0, 0, 640, 480}));
  zoomTo(zoom, 2);
  EXPECT_EQ(zoom.sourceRect(640, 480, 1920, 1080), (Rect{160, 120, 320, 240}));
  zoomTo(zoom, 4);
  EXPECT_EQ(zoom.sourceRect(640, 480, 1920, 1080), (Rect{240, 180, 160, 120}));
}

TEST(DigitalZoom, StaysBetweenOneAndTwelve) {
  DigitalZoom zoom;
  for (int i = 0; i < 20; ++i) zoom.apply(Step::kIn);
  EXPECT_EQ(zoom.zoom(), 12);
  for (int i = 0; i < 20; ++i) zoom.apply(Step::kOut);
  EXPECT_EQ(zoom.zoom(), 1);
}

TEST(DigitalZoom, DragIsScaledByZoomAndClientSize) {
  DigitalZoom zoom;
  zoomTo(zoom, 2);
  zoom.addDrag(10, -6);
  // 10 x 640 x 2 / 1280 = 10 and -6 x 480 x 2 / 960 = -6 picture pixels.
  EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{170, 114, 320, 240}));
  EXPECT_EQ(zoom.offsetX(), 10);
  EXPECT_EQ(zoom.offsetY(), -6);
  // Folded in once only.
  EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{170, 114, 320, 240}));
}

TEST(DigitalZoom, OffsetsAreClampedAndResetBelowOne) {
  DigitalZoom zoom;
  zoomTo(zoom, 2);
  zoom.addDrag(100000, -100000);
  EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{320, 0, 320, 240}));
  EXPECT_EQ(zoom.offsetX(), 160);
  EXPECT_EQ(zoom.offsetY(), -120);

  zoom.apply(Step::kOut);  // 2 -> 1: the whole picture again
  EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{0, 0, 640, 480}));
  zoomTo(zoom, 1);
  zoom.apply(Step::kIn);
  zoom.addDrag(50, 50);
  zoom.sourceRect(640, 480, 1280, 960);
  zoom.apply(Step::kOut);
  zoom.apply(Step::kOut);  // below 1
  EXPECT_EQ(zoom.zoom(), 1);
  EXPECT_EQ(zoom.offsetX(), 0);
  EXPECT_EQ(zoom.offsetY(), 0);
}

TEST(DigitalZoom, SourceNeverLeavesThePicture) {
  struct Size {
    int width, height;
  };
  const Size pictures[] = {{640, 480}, {641, 479}, {1920, 1080}, {7, 5}, {1, 1}, {2048, 1536}};
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> drag(-3000, 3000);
  for (const Size& picture : pictures) {
    for (int factor = 1; factor <= 12; ++factor) {
      DigitalZoom zoom;
      zoomTo(zoom, factor);
      for (int i = 0; i < 50; ++i) {
        zoom.addDrag(drag(random), drag(random));
        const Rect r = zoom.sourceRect(picture.width, picture.height, 1366, 768);
        ASSERT_GE(r.x, 0);
        ASSERT_GE(r.y, 0);
        ASSERT_GE(r.width, 1);
        ASSERT_GE(r.height, 1);
        ASSERT_LE(r.right(), picture.width) << picture.width << " zoom " << factor;
        ASSERT_LE(r.bottom(), picture.height) << picture.height << " zoom " << factor;
      }
      // Zooming out after a drag keeps the source inside too.
      zoom.apply(Step::kOut);
      const Rect r = zoom.sourceRect(picture.width, picture.height, 1366, 768);
      ASSERT_LE(r.right(), picture.width);
      ASSERT_LE(r.bottom(), picture.height);
      ASSERT_GE(r.x, 0);
      ASSERT_GE(r.y, 0);
    }
  }
}

TEST(DigitalZoom, ThreeNotchesInOneDirectionMakeOneStep) {
  DigitalZoom zoom;
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(120), Step::kIn);
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);  // counting starts again

  // A change of direction restarts the count.
  zoom.reset();
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(-120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(120), Step::kNone);
  EXPECT_EQ(zoom.countNotch(-1), Step::kNone);
  EXPECT_EQ(zoom.countNotch(-1), Step::kNone);
  EXPECT_EQ(zoom.countNotch(-1), Step::kOut);
  EXPECT_EQ(zoom.zoom(), 1);  // counting alone changes nothing
}

}  // namespace
}  // namespace vexa
