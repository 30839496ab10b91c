#include "camera/PtzView.h"

#include <gtest/gtest.h>

#include "camera/PictureGenerator.h"
#include "camera/PtzControl.h"

namespace vexa::camera {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

void expectNear(const ViewRect& actual, const ViewRect& expected) {
  EXPECT_NEAR(actual.x, expected.x, 0.01);
  EXPECT_NEAR(actual.y, expected.y, 0.01);
  EXPECT_NEAR(actual.width, expected.width, 0.01);
  EXPECT_NEAR(actual.height, expected.height, 0.01);
}

TEST(PtzView, MovesAtItsSpeedsAndStaysInTheScene) {
  const double zoomedHalf = kWidth / (1 + 3 * 500.0 / 999);  // zoom position 500
  const struct {
    int pan, tilt, zoom;
    uint32_t ms;
    ViewRect crop;
  } cases[] = {
      {0, 0, 0, 5000, {640, 480, 640, 480}},    // home
      {100, 0, 0, 1000, {960, 480, 640, 480}},  // right: half a picture a second
      {-50, 0, 0, 1000, {480, 480, 640, 480}},
      {0, 100, 0, 1000, {640, 240, 640, 480}},  // up
      {0, -100, 0, 500, {640, 600, 640, 480}},
      {100, 0, 0, 60000, {1920, 480, 640, 480}},  // stops at the scene's right edge
      {-100, 100, 0, 60000, {0, 0, 640, 480}},
      {0, 0, 100, 3000, {880, 660, 160, 120}},  // zoom stops at 999: four times
      {0,
       0,
       100,
       1000,
       {960 - zoomedHalf / 2, 720 - zoomedHalf * 3 / 8, zoomedHalf, zoomedHalf * 3 / 4}},
      {0, 0, -100, 1000, {640, 480, 640, 480}},  // and at 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pan << "," << c.tilt << " zoom " << c.zoom);
    PtzView view(kWidth, kHeight);
    view.setPanTilt(c.pan, c.tilt);
    view.setZoomSpeed(c.zoom);
    view.advance(c.ms);
    expectNear(view.crop(), c.crop);
  }
}

TEST(PtzView, ZoomedPanCrossesThePictureInTheSameTime) {
  PtzView view(kWidth, kHeight);
  view.setZoomSpeed(100);
  view.advance(2000);
  view.setZoomSpeed(0);
  view.setPanTilt(100, 0);
  const double before = view.crop().x;
  view.advance(1000);
  EXPECT_NEAR(view.crop().x - before, kWidth / 2 / 4.0, 0.01);
}

TEST(PtzView, CentresOnAPointOfTheShownImage) {
  PtzView view(kWidth, kHeight);
  view.centreOn(240, 180, 320, 240);  // three quarters across and down, at half size
  expectNear(view.crop(), {800, 600, 640, 480});
  view.centreOn(0, 0, 320, 240);
  expectNear(view.crop(), {480, 360, 640, 480});
  view.centreOn(0, 0, 1, 1);
  expectNear(view.crop(), {160, 120, 640, 480});
  view.centreOn(0, 0, 1, 1);  // past the corner: the view stops there
  expectNear(view.crop(), {0, 0, 640, 480});
}

TEST(PtzControl, RunsCommandsOnItsClock) {
  platform::ManualClock clock(0xFFFFFF00);  // the tick count wraps meanwhile
  PtzControl ptz(kWidth, kHeight, &clock);
  const PtzAnswer ok, bad{400, "Bad Request", {}};
  const struct {
    std::string query;
    PtzAnswer answer;
  } commands[] = {
      {"query=position", {200, "OK", {"pan=-45.00", "tilt=0.00", "zoomposition=0"}}},
      {"continuouspantiltmove=100,-100", ok},
      {"continuouspantiltmove=101,0", bad},
      {"continuouspantiltmove=5", bad},
      {"continuouspantiltmove=5,x", bad},
      {"continuouszoommove=-101", bad},
      {"continuouszoommove=", bad},
      {"query=zoom", bad},
      {"center=1,2&imagewidth=0&imageheight=2&stream=0", bad},
      {"center=1,2&imagewidth=2&imageheight=2", bad},
      {"speed=3", bad},
      {"", bad},
      {"continuouszoommove=100&query=position",
       {200, "OK", {"pan=-45.00", "tilt=0.00", "zoomposition=0"}}},
  };
  for (const auto& c : commands) EXPECT_EQ(ptz.handle(c.query), c.answer) << c.query;
  clock.advance(1000);
  EXPECT_EQ(ptz.handle("query=position").lines,
            (std::vector<std::string>{"pan=0.00", "tilt=-30.00", "zoomposition=500"}));
  EXPECT_EQ(ptz.handle("continuouspantiltmove=0,0&continuouszoommove=0").status, 200);
  clock.advance(1000);
  EXPECT_EQ(ptz.describe(), "view 1152.1,864.1 255.8x191.9 zoom 500");
}

// Whether count pixels from (ax, ay) of a agree with those from (bx, by) of b.
bool sameRun(const BgrPicture& a, int ax, int ay, const BgrPicture& b, int bx, int by, int count) {
  return std::equal(a.row(ay) + 3 * ax, a.row(ay) + 3 * (ax + count), b.row(by) + 3 * bx);
}

TEST(PictureGenerator, ShowsTheViewOfTheScene) {
  PictureGenerator generator(kWidth, kHeight);
  const BgrPicture home = generator.bgrFrame(7);
  BgrPicture shown;
  generator.renderView(7, {640, 480, 640, 480}, shown);
  EXPECT_EQ(shown.pixels, home.pixels);

  const int above = generator.counterPanel().y;          // the counter stays put whatever the view
  generator.renderView(7, {960, 480, 640, 480}, shown);  // half a picture to the right
  for (int y = 0; y < above; y += 7) {
    ASSERT_TRUE(sameRun(shown, 0, y, home, kWidth / 2, y, kWidth / 2)) << y;
    ASSERT_TRUE(sameRun(shown, kWidth / 2, y, shown, kWidth / 2 + 1, y, kWidth / 2 - 1)) << y;
  }
  generator.renderView(7, {880, 660, 160, 120}, shown);  // zoomed four times into the middle
  EXPECT_TRUE(sameRun(shown, 0, 240, home, 240, 240, 1));
  EXPECT_TRUE(sameRun(shown, 4, 240, home, 241, 240, 1));

  BgrPicture corner;
  generator.renderView(7, {0, 0, 640, 480}, corner);
  generator.renderView(7, {1920, 960, 640, 480}, shown);
  EXPECT_TRUE(sameRun(corner, 1, 0, corner, 0, 0, kWidth - 1));  // flat
  EXPECT_FALSE(sameRun(corner, 0, 0, shown, 0, 0, 1));           // and distinct
}

}  // namespace
}  // namespace vexa::camera
