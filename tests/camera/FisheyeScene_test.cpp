#include "camera/FisheyeScene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "camera/PictureGenerator.h"

namespace vexa::camera {
namespace {

constexpr uint8_t kBrightBlue = 64;  // what a circle finder counts as lit

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

// The simplest finder: the bounding box of the bright pixels.
FisheyeCircle findCircle(const BgrPicture& picture) {
  int left = picture.width, right = -1, top = picture.height, bottom = -1;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (picture.row(y)[3 * x] <= kBrightBlue) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  return {(left + right + 1) / 2, (top + bottom + 1) / 2,
          std::max(right - left + 1, bottom - top + 1)};
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

    // Just inside the edge lit, just outside black, all the way round.
    const double radius = row.expected.diameter / 2.0;
    for (int degree = 0; degree < 360; degree += 3) {
      const double angle = degree * std::numbers::pi / 180;
      for (const double distance : {radius - 1.5, radius + 1.5}) {
        const uint8_t* pixel = pixelAt(picture, row.expected.x + distance * std::cos(angle),
                                       row.expected.y + distance * std::sin(angle));
        if (!pixel) continue;
        if (distance < radius) {
          EXPECT_GE(pixel[0], FisheyeScene::kMinBlue) << degree;
        } else {
          EXPECT_EQ(pixel[0] | pixel[1] | pixel[2], 0) << degree;
        }
      }
    }
    // Nothing between black and lit, so a threshold anywhere below kMinBlue sees the same.
    size_t dim = 0;
    for (size_t i = 0; i < picture.pixels.size(); i += 3) {
      const uint8_t* pixel = &picture.pixels[i];
      dim += pixel[0] < FisheyeScene::kMinBlue && (pixel[0] | pixel[1] | pixel[2]) != 0;
    }
    EXPECT_EQ(dim, 0u);

    const FisheyeCircle found = findCircle(picture);
    EXPECT_LE(std::abs(found.x - row.expected.x), 1);
    EXPECT_LE(std::abs(found.y - row.expected.y), 1);
    EXPECT_LE(std::abs(found.diameter - row.expected.diameter), 2);
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
