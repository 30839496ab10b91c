#include "display/DigitalZoom.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace vexa {
namespace {

using Step = DigitalZoom::Step;

void zoomTo(DigitalZoom& zoom, int factor) {
  zoom.reset();
  for (int i = 1; i < factor; ++i) zoom.apply(Step::kIn);
}

TEST(DigitalZoom, CentredSourceShrinksWithTheZoomFromOneToTwelve) {
  DigitalZoom zoom;
  for (const auto& [factor, source] : {std::pair{1, Rect{0, 0, 640, 480}},
                                       {2, Rect{160, 120, 320, 240}},
                                       {4, Rect{240, 180, 160, 120}}}) {
    zoomTo(zoom, factor);
    EXPECT_EQ(zoom.sourceRect(640, 480, 1920, 1080), source) << factor;
  }
  zoomTo(zoom, 20);
  EXPECT_EQ(zoom.zoom(), 12);
  for (int i = 0; i < 20; ++i) zoom.apply(Step::kOut);
  EXPECT_EQ(zoom.zoom(), 1);
}

TEST(DigitalZoom, DragIsScaledByZoomAndClientSizeClampedAndResetBelowOne) {
  DigitalZoom zoom;
  zoomTo(zoom, 2);
  zoom.addDrag(10, -6);
  // 10 x 640 x 2 / 1280 = 10 and -6 x 480 x 2 / 960 = -6 picture pixels, folded in once only.
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{170, 114, 320, 240}));
  zoom.addDrag(100000, -100000);
  EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{320, 0, 320, 240}));
  EXPECT_EQ(std::pair(zoom.offsetX(), zoom.offsetY()), std::pair(160, -120));
  zoom.apply(Step::kOut);  // 2 -> 1: the whole picture again
  EXPECT_EQ(zoom.sourceRect(640, 480, 1280, 960), (Rect{0, 0, 640, 480}));
  zoom.apply(Step::kOut);  // below 1
  EXPECT_EQ(std::tuple(zoom.zoom(), zoom.offsetX(), zoom.offsetY()), std::tuple(1, 0, 0));
}

TEST(DigitalZoom, SourceNeverLeavesThePicture) {
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> drag(-3000, 3000);
  for (const auto& [width, height] :
       {std::pair{640, 480}, {641, 479}, {1920, 1080}, {7, 5}, {1, 1}}) {
    for (int factor = 1; factor <= 12; ++factor) {
      DigitalZoom zoom;
      zoomTo(zoom, factor);
      for (int i = 0; i <= 50; ++i) {
        zoom.addDrag(drag(random), drag(random));
        if (i == 50) zoom.apply(Step::kOut);  // zooming out after a drag too
        const Rect r = zoom.sourceRect(width, height, 1366, 768);
        ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.width >= 1 && r.height >= 1 && r.right() <= width &&
                    r.bottom() <= height)
            << r.x << "," << r.y << " " << r.width << "x" << r.height << " in " << width << "x"
            << height << " at zoom " << factor;
      }
    }
  }
}

TEST(DigitalZoom, ThreeNotchesInOneDirectionMakeOneStep) {
  // The count starts again after each step and whenever the direction changes.
  DigitalZoom zoom;
  const std::pair<int, Step> wheel[] = {{120, Step::kNone}, {120, Step::kNone},  {120, Step::kIn},
                                        {120, Step::kNone}, {-120, Step::kNone}, {120, Step::kNone},
                                        {120, Step::kNone}, {-1, Step::kNone},   {-1, Step::kNone},
                                        {-1, Step::kOut}};
  for (size_t i = 0; i < std::size(wheel); ++i)
    EXPECT_EQ(zoom.countNotch(wheel[i].first), wheel[i].second) << i;
  EXPECT_EQ(zoom.zoom(), 1);  // counting alone changes nothing
}

}  // namespace
}  // namespace vexa
