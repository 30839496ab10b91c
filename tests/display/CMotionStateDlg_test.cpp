#include "display/CMotionStateDlg.h"

#include <gtest/gtest.h>

#include <numeric>

namespace vexa {
namespace {

constexpr uint32_t kLevelPixel = 0x3232FF;  // canvas pixels, 0x00RRGGBB
constexpr uint32_t kThresholdPixel = 0xFF3232;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kBottom = CMotionStateDlg::kClientHeight;
constexpr int kStep = 4;

MotionValues::Taken active(std::vector<int8_t> levels, int32_t threshold) {
  return {std::move(levels), threshold, true};
}

int rowOfLevel(int level) {
  return std::min(kBottom - level * kBottom / 100, kBottom - 1);
}

// Some pixel of the box at (x, y) is not white: text was drawn there.
bool inkNear(const Canvas& canvas, int x, int y, int width = 30, int height = 14) {
  for (int dy = 0; dy < height; ++dy) {
    for (int dx = 0; dx < width; ++dx) {
      if (canvas.pixel(x + dx, y + dy) != kWhite) return true;
    }
  }
  return false;
}

TEST(CMotionStateDlg, GraphsEveryLevelNewestIncludedUnderTheThreshold) {
  CMotionStateDlg window;
  std::vector<int8_t> levels(CMotionStateDlg::kHistoryLength);
  for (size_t i = 0; i < levels.size(); ++i) levels[i] = int8_t(10 + (i * 7) % 80);
  constexpr int32_t kThreshold = 10;  // row 15: above every level
  window.paint(active(levels, kThreshold));

  const Canvas& canvas = window.canvas();
  for (int i = 0; i < CMotionStateDlg::kHistoryLength; ++i) {
    EXPECT_EQ(canvas.pixel(i * kStep, rowOfLevel(levels[size_t(i)])), kLevelPixel) << "level " << i;
  }
  const int thresholdRow = kBottom * kThreshold / 100;
  for (int x = 1; x < CMotionStateDlg::kClientWidth; x += 50) {
    EXPECT_EQ(canvas.pixel(x + 1, thresholdRow), kThresholdPixel) << x;
  }
  // Above every level and clear of the threshold line.
  EXPECT_EQ(canvas.pixel(200, 2), kWhite);
  EXPECT_EQ(canvas.pixel(398, 100), kWhite);
  EXPECT_EQ(window.threshold(), kThreshold);
}

TEST(CMotionStateDlg, MoreThanAHistoryOfLevelsKeepsTheNewest) {
  CMotionStateDlg window;
  std::vector<int8_t> first(60), second(70);
  std::iota(first.begin(), first.end(), int8_t(0));
  std::iota(second.begin(), second.end(), int8_t(30));
  window.paint(active(first, 80));
  window.paint(active(second, 80));

  std::vector<int8_t> expected(first.begin() + 30, first.end());
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(window.history(), expected);
}

TEST(CMotionStateDlg, NotActiveClearsTheHistoryAndShowsTheBrandsTexts) {
  const struct {
    const char* brand;
    std::vector<Canvas::Point> inked;
  } cases[] = {
      {"KORVA", {{25, kBottom / 2 - 15}, {83, kBottom / 2 + 15}}},
      {"korva", {{2, kBottom / 2}}},
      {"", {{2, kBottom / 2}}},
  };
  for (const auto& c : cases) {
    CMotionStateDlg window;
    window.setBrand(c.brand);
    window.paint(active({50, 60}, 80));
    window.paint({});
    EXPECT_EQ(window.history(), std::vector<int8_t>(CMotionStateDlg::kHistoryLength, 0)) << c.brand;
    for (const auto& origin : c.inked) {
      EXPECT_TRUE(inkNear(window.canvas(), origin.x, origin.y)) << c.brand << " " << origin.x;
    }
    EXPECT_FALSE(inkNear(window.canvas(), 300, 120, 90, 25)) << c.brand;
    EXPECT_FALSE(inkNear(window.canvas(), 0, 0, 300, 20)) << c.brand;
  }
}

}  // namespace
}  // namespace vexa
