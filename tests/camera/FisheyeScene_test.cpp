#include "camera/FisheyeScene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "camera/PictureGenerator.h"

namespace vexa::camera {
namespace {

BgrPicture fisheyePicture(int width, int height, const FisheyeSettings& settings) {
  PictureGenerator generator(width, height, settings);
  BgrPicture picture;
  generator.renderShown(7, std::nullopt, picture);
  return picture;
}

const uint8_t* pixelAt(const BgrPicture& picture, double x, double y) {
  const int column = int(std::floor(x));
  const int row = int(std::floor(y));
  if (column < 0 || row < 0 || column >= picture.width || row >= picture.height) return nullptr;
  return picture.row(row) + 3 * column;
}

TEST(FisheyeScene, LightsExactlyTheCircleAsked) {
  using enum FisheyeLensKind;
  struct Row {
    FisheyeLensKind lens;
    int width, height;
    std::optional<FisheyeCircle> asked;
    int referenceWidth, referenceHeight;
    FisheyeCircle expected;
  };
  const Row rows[] = {
      {Stereographic, 320, 240, std::nullopt, 320, 240, {160, 120, 240}},
      {Equidistant, 320, 240, std::nullopt, 320, 240, {160, 120, 240}},
      {Stereographic, 640, 360, FisheyeCircle{300, 170, 301}, 640, 360, {300, 170, 301}},
      {Equidistant, 400, 300, FisheyeCircle{210, 140, 250}, 400, 300, {210, 140, 250}},
      // A half-size stream of the same camera: the circle scales with it.
      {Equidistant, 320, 180, FisheyeCircle{300, 170, 300}, 640, 360, {150, 85, 150}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << " lens " << int(row.lens));
    const FisheyeSettings settings{row.lens, row.asked, row.referenceWidth, row.referenceHeight};
    ASSERT_EQ(settings.circleFor(row.width, row.height), row.expected);
    const BgrPicture picture = fisheyePicture(row.width, row.height, settings);

    // Lit just inside the edge all the way round, black outside it, and nothing between
    // black and lit, so that a threshold anywhere below kMinBlue finds the same circle.
    const double radius = row.expected.diameter / 2.0;
    for (int degree = 0; degree < 360; degree += 3) {
      const double angle = degree * std::numbers::pi / 180;
      const uint8_t* pixel = pixelAt(picture, row.expected.x + (radius - 1.5) * std::cos(angle),
                                     row.expected.y + (radius - 1.5) * std::sin(angle));
      if (pixel) EXPECT_GE(pixel[0], FisheyeScene::kMinBlue) << degree;
    }
    int dim = 0, litOutside = 0;
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const uint8_t* p = picture.row(y) + 3 * x;
        if ((p[0] | p[1] | p[2]) == 0) continue;
        dim += p[0] < FisheyeScene::kMinBlue;
        litOutside += std::hypot(x + 0.5 - row.expected.x, y + 0.5 - row.expected.y) > radius + 1.5;
      }
    }
    EXPECT_EQ(dim, 0);
    EXPECT_EQ(litOutside, 0);
  }
}

bool gridNear(const BgrPicture& picture, PicturePoint point) {
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const uint8_t* pixel = pixelAt(picture, point.x + dx, point.y + dy);
      if (pixel && std::equal(pixel, pixel + 3, FisheyeScene::kGridColour.begin())) return true;
    }
  }
  return false;
}

// A straight grid line on the far wall comes out bowed in the picture, and the picture shows it
// where the lens puts it.
TEST(FisheyeScene, StraightWallLinesBow) {
  constexpr int kWidth = 640, kHeight = 480, kSamples = 41;
  for (const FisheyeLensKind lens :
       {FisheyeLensKind::Stereographic, FisheyeLensKind::Equidistant}) {
    SCOPED_TRACE(int(lens));
    const FisheyeSettings settings{lens, std::nullopt, kWidth, kHeight};
    const BgrPicture picture = fisheyePicture(kWidth, kHeight, settings);
    const FisheyeLens fisheye(lens, settings.circleFor(kWidth, kHeight),
                              sensorMappingForPicture(kWidth, kHeight));
    const FisheyeScene::Room room = FisheyeScene::roomFor(kWidth, kHeight);
    const double rise = 2 * room.gridRise;
    const double end = room.halfWidth - room.gridStep / 2;  // clear of the corners

    std::vector<PicturePoint> line;
    for (int i = 0; i < kSamples; ++i) {
      line.push_back(
          fisheye.pictureOf({-end + 2 * end * i / (kSamples - 1), room.halfDepth, rise}));
    }
    const PicturePoint first = line.front(), last = line.back();
    const double chord = std::hypot(last.x - first.x, last.y - first.y);
    double bow = 0;
    int shown = 0;
    for (const PicturePoint& point : line) {
      const double cross =
          (last.x - first.x) * (point.y - first.y) - (last.y - first.y) * (point.x - first.x);
      bow = std::max(bow, std::abs(cross) / chord);
      shown += gridNear(picture, point);
    }
    EXPECT_GT(bow, 10);
    EXPECT_GE(shown, kSamples * 9 / 10);
  }
}

}  // namespace
}  // namespace vexa::camera
