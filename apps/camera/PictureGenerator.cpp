#include "camera/PictureGenerator.h"

#include <algorithm>
#include <array>

namespace vexa::camera {
namespace {

struct Bgr {
  uint8_t b, g, r;
};

// 75% bars, as test signals use, so that none of them sits at the clipping edge.
constexpr std::array<Bgr, 8> kBars = {{
    {191, 191, 191},  // white
    {0, 191, 191},    // yellow
    {191, 191, 0},    // cyan
    {0, 191, 0},      // green
    {191, 0, 191},    // magenta
    {0, 0, 191},      // red
    {191, 0, 0},      // blue
    {16, 16, 16},     // black
}};
// The scene's tiles, row by row; the home picture covers the second of the second row.
// clang-format off
constexpr std::array<Bgr, PtzView::kSceneTiles> kTiles = {{
    {60, 20, 20},  {20, 60, 20},   {20, 20, 60},   {90, 90, 30},
    {30, 90, 90},  {0, 0, 0},      {90, 30, 90},   {140, 60, 60},
    {60, 140, 60}, {60, 60, 140},  {150, 150, 90}, {90, 150, 150},
}};
// clang-format on
constexpr Bgr kBoxColour = {32, 128, 240};
constexpr Bgr kPanelColour = {16, 16, 16};
constexpr Bgr kDigitColour = {235, 235, 235};
constexpr int kRampLow = 16;
constexpr int kRampHigh = 235;

// Seven segments a..g as bits 0..6.
constexpr std::array<uint8_t, 10> kSegmentsOfDigit = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                      0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr uint32_t kCounterModulus = 1000000;  // kDigitCount digits

void fillRect(BgrPicture& out, PictureRect rect, Bgr colour) {
  const int x0 = std::max(rect.x, 0);
  const int y0 = std::max(rect.y, 0);
  const int x1 = std::min(rect.x + rect.width, out.width);
  const int y1 = std::min(rect.y + rect.height, out.height);
  for (int y = y0; y < y1; ++y) {
    uint8_t* pixel = out.row(y) + 3 * x0;
    for (int x = x0; x < x1; ++x, pixel += 3) {
      pixel[0] = colour.b;
      pixel[1] = colour.g;
      pixel[2] = colour.r;
    }
  }
}

// Position on a path that runs from 0 to span and back.
int bounce(uint32_t travelled, int span) {
  if (span <= 0) return 0;
  const uint32_t period = 2 * uint32_t(span);
  const int phase = int(travelled % period);
  return phase <= span ? phase : int(period) - phase;
}

int even(int value) {
  return value & ~1;
}

}  // namespace

PictureGenerator::PictureGenerator(int width, int height,
                                   const std::optional<FisheyeSettings>& fisheye)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), barsBottom_(even(height_ * 2 / 3)) {
  if (fisheye) {
    fisheye_ = std::make_unique<FisheyeScene>(width_, height_, fisheye->lens,
                                              fisheye->circleFor(width_, height_));
  }
}

PictureRect PictureGenerator::movingBox(uint32_t index) const {
  const int side = std::max(2, even(height_ / 6));
  const int stepX = std::max(2, even(width_ / 64));
  const int stepY = std::max(1, height_ / 96);
  return {bounce(index * uint32_t(stepX), width_ - side),
          bounce(index * uint32_t(stepY), barsBottom_ - side), side, side};
}

PictureGenerator::CounterLayout PictureGenerator::counterLayout() const {
  CounterLayout layout;
  const int band = height_ - barsBottom_;
  layout.digitHeight = std::max(7, band * 3 / 5);
  layout.digitWidth = layout.digitHeight / 2;
  layout.gap = std::max(1, layout.digitHeight / 7);
  layout.thickness = std::max(1, layout.digitHeight / 9);
  layout.panel = {layout.gap, barsBottom_ + (band - layout.digitHeight) / 2 - layout.gap,
                  kDigitCount * (layout.digitWidth + layout.gap) + layout.gap,
                  layout.digitHeight + 2 * layout.gap};
  return layout;
}

PictureRect PictureGenerator::counterPanel() const {
  return counterLayout().panel;
}

void PictureGenerator::drawBackground(BgrPicture& out) const {
  for (size_t bar = 0; bar < kBars.size(); ++bar) {
    const int left = even(int(bar) * width_ / int(kBars.size()));
    const int right = even(int(bar + 1) * width_ / int(kBars.size()));
    fillRect(out, {left, 0, (bar + 1 == kBars.size() ? width_ : right) - left, barsBottom_},
             kBars[bar]);
  }
  const int span = std::max(1, width_ - 1);
  for (int x = 0; x < width_; ++x) {
    const auto level = uint8_t(kRampLow + (kRampHigh - kRampLow) * x / span);
    fillRect(out, {x, barsBottom_, 1, height_ - barsBottom_}, {level, level, level});
  }
}

void PictureGenerator::drawCounter(uint32_t index, BgrPicture& out) const {
  const CounterLayout layout = counterLayout();
  fillRect(out, layout.panel, kPanelColour);
  const int digitWidth = layout.digitWidth;
  const int digitHeight = layout.digitHeight;
  const int thickness = layout.thickness;
  const int half = digitHeight / 2;

  uint32_t value = index % kCounterModulus;
  for (int position = kDigitCount - 1; position >= 0; --position, value /= 10) {
    const int x = layout.panel.x + layout.gap + position * (digitWidth + layout.gap);
    const int y = layout.panel.y + layout.gap;
    const uint8_t segments = kSegmentsOfDigit[value % 10];
    const std::array<PictureRect, 7> shapes = {{
        {x, y, digitWidth, thickness},                                          // a
        {x + digitWidth - thickness, y, thickness, half},                       // b
        {x + digitWidth - thickness, y + half, thickness, digitHeight - half},  // c
        {x, y + digitHeight - thickness, digitWidth, thickness},                // d
        {x, y + half, thickness, digitHeight - half},                           // e
        {x, y, thickness, half},                                                // f
        {x, y + half - thickness / 2, digitWidth, thickness},                   // g
    }};
    for (size_t segment = 0; segment < shapes.size(); ++segment) {
      if (segments & (1u << segment)) fillRect(out, shapes[segment], kDigitColour);
    }
  }
}

void PictureGenerator::render(uint32_t index, BgrPicture& out) const {
  out.width = width_;
  out.height = height_;
  out.pixels.resize(size_t(width_) * size_t(height_) * 3);
  drawBackground(out);
  fillRect(out, movingBox(index), kBoxColour);
  drawCounter(index, out);
}

void PictureGenerator::renderView(uint32_t index, const ViewRect& view, BgrPicture& out) {
  const ViewRect home{double(width_) * PtzView::kHomeColumn, double(height_) * PtzView::kHomeRow,
                      double(width_), double(height_)};
  if (view == home) {
    render(index, out);
    return;
  }
  home_.width = out.width = width_;
  home_.height = out.height = height_;
  home_.pixels.resize(size_t(width_) * size_t(height_) * 3);
  out.pixels.resize(home_.pixels.size());
  drawBackground(home_);
  fillRect(home_, movingBox(index), kBoxColour);
  drawScene(view, out);
  drawCounter(index, out);
}

// Nearest scene pixel for each shown one: cheap, and the scene is flat areas anyway.
void PictureGenerator::drawScene(const ViewRect& view, BgrPicture& out) {
  const int sceneWidth = width_ * PtzView::kSceneColumns;
  const int sceneHeight = height_ * PtzView::kSceneRows;
  sceneColumns_.resize(size_t(width_));
  for (int x = 0; x < width_; ++x) {
    const int sx = int(view.x + (x + 0.5) * view.width / width_);
    sceneColumns_[size_t(x)] = std::clamp(sx, 0, sceneWidth - 1);
  }
  for (int y = 0; y < height_; ++y) {
    const int sy = std::clamp(int(view.y + (y + 0.5) * view.height / height_), 0, sceneHeight - 1);
    const int row = sy / height_;
    const uint8_t* homeRow = home_.row(sy - row * height_);
    uint8_t* pixel = out.row(y);
    for (int x = 0; x < width_; ++x, pixel += 3) {
      const int sx = sceneColumns_[size_t(x)];
      const int column = sx / width_;
      if (column == PtzView::kHomeColumn && row == PtzView::kHomeRow) {
        std::copy_n(homeRow + 3 * (sx - column * width_), 3, pixel);
      } else {
        const Bgr tile = kTiles[size_t(row * PtzView::kSceneColumns + column)];
        pixel[0] = tile.b;
        pixel[1] = tile.g;
        pixel[2] = tile.r;
      }
    }
  }
}

void PictureGenerator::renderShown(uint32_t index, const std::optional<ViewRect>& view,
                                   BgrPicture& out) {
  BgrPicture& shown = fisheye_ ? floor_ : out;
  if (view) {
    renderView(index, *view, shown);
  } else {
    render(index, shown);
  }
  if (fisheye_) fisheye_->render(floor_, out);
}

BgrPicture PictureGenerator::bgrFrame(uint32_t index) const {
  BgrPicture picture;
  render(index, picture);
  return picture;
}

YuvPicture PictureGenerator::yuvFrame(uint32_t index) const {
  return toYuv420(bgrFrame(index));
}

}  // namespace vexa::camera
