#include "display/overlay/ClientMasks.h"

#include <algorithm>
#include <cmath>

#include "common/DebugTrace.h"
#include "media/PictureFormat.h"

namespace vexa {

namespace {

constexpr int kMaxChannel = 255;

// The colour's byte for a picture byte (blue, green, red); the colour holds red in its low byte.
int colourByte(uint32_t colour, size_t pictureChannel) {
  constexpr int kShifts[3] = {16, 8, 0};
  return int(colour >> kShifts[pictureChannel]) & kMaxChannel;
}

int clampInt(int64_t value, int low, int high) {
  return int(std::clamp<int64_t>(value, low, high));
}

// Cells [first, end) of a mask spanning [position, position + size) of a space of spaceSize units
// laid over cells cells.
std::pair<int, int> cellSpan(int position, int size, int spaceSize, int cells) {
  return {position * cells / spaceSize, (position + size) * cells / spaceSize};
}

}  // namespace

bool ClientMasks::add(const std::string& name, int32_t x, int32_t y, int32_t width,
                      int32_t height) {
  if (masks_.size() >= kMaxMasks || name.size() > kMaxNameBytes) {
    DebugTrace("ClientMasks: mask '%.32s' refused: %zu masks, name of %zu bytes\n", name.c_str(),
               masks_.size(), name.size());
    return false;
  }
  Mask mask{name, clampInt(x, 0, kSpaceWidth - 1), clampInt(y, 0, kSpaceHeight - 1),
            clampInt(width, 0, kSpaceWidth), clampInt(height, 0, kSpaceHeight)};
  mask.width = std::min(mask.width, kSpaceWidth - mask.x);
  mask.height = std::min(mask.height, kSpaceHeight - mask.y);
  masks_.push_back(std::move(mask));
  runsStale_ = tintStale_ = true;
  return true;
}

void ClientMasks::remove(const std::string& name) {
  const auto found =
      std::find_if(masks_.begin(), masks_.end(), [&](const Mask& mask) { return mask.name == name; });
  if (found == masks_.end()) return;
  masks_.erase(found);
  runsStale_ = tintStale_ = true;
}

void ClientMasks::setColour(int32_t red, int32_t green, int32_t blue, double alpha) {
  colour_ = uint32_t(clampInt(red, 0, kMaxChannel)) |
            uint32_t(clampInt(green, 0, kMaxChannel)) << 8 |
            uint32_t(clampInt(blue, 0, kMaxChannel)) << 16;
  const double opacity = std::isnan(alpha) ? 0 : std::clamp(alpha, 0.0, 1.0);
  opacity_ = int(std::trunc(kFullOpacity * opacity));
  blendStale_ = tintStale_ = true;
}

void ClientMasks::rebuildRuns(int cellsAcross, int cellsDown) {
  cellsAcross_ = cellsAcross;
  cellsDown_ = cellsDown;
  runsStale_ = false;
  std::vector<uint8_t> cells(size_t(cellsAcross) * size_t(cellsDown), 0);
  for (const Mask& mask : masks_) {
    const auto [left, right] = cellSpan(mask.x, mask.width, kSpaceWidth, cellsAcross);
    const auto [top, bottom] = cellSpan(mask.y, mask.height, kSpaceHeight, cellsDown);
    for (int row = top; row < bottom; ++row) {
      std::fill_n(&cells[size_t(row) * size_t(cellsAcross) + size_t(left)], right - left, 1);
    }
  }
  runs_.clear();
  for (int row = 0; row < cellsDown; ++row) {
    const uint8_t* line = &cells[size_t(row) * size_t(cellsAcross)];
    for (int column = 0; column < cellsAcross;) {
      if (!line[column]) {
        ++column;
        continue;
      }
      const int first = column;
      while (column < cellsAcross && line[column]) ++column;
      runs_.push_back({row, first, column});
    }
  }
}

void ClientMasks::rebuildBlend() {
  blendStale_ = false;
  const int keep = kFullOpacity - opacity_;
  for (size_t channel = 0; channel < blend_.size(); ++channel) {
    const int mask = colourByte(colour_, channel);
    for (int value = 0; value <= kMaxChannel; ++value) {
      blend_[channel][size_t(value)] = uint8_t((keep * value + opacity_ * mask) / kFullOpacity);
    }
  }
}

bool ClientMasks::prepare(int width, int height) {
  if (!active() || width <= 0 || height <= 0) return false;
  const int cellsAcross = (width + kCellPixels - 1) / kCellPixels;
  const int cellsDown = (height + kCellPixels - 1) / kCellPixels;
  if (cellsAcross > kMaxCellsAcross || cellsDown > kMaxCellsDown) return false;
  if (runsStale_ || cellsAcross != cellsAcross_ || cellsDown != cellsDown_) {
    rebuildRuns(cellsAcross, cellsDown);
  }
  if (blendStale_) rebuildBlend();
  return true;
}

const PictureTint* ClientMasks::tintFor(int width, int height) {
  if (!prepare(width, height)) return nullptr;
  if (tintStale_ || width != tintWidth_ || height != tintHeight_) {
    tintStale_ = false;
    tintWidth_ = width;
    tintHeight_ = height;
    ++tint_.version;
    tint_.areas.clear();
    for (const Run& run : runs_) {
      const int left = run.first * kCellPixels, top = run.row * kCellPixels;
      tint_.areas.push_back({left, top, std::min(run.end * kCellPixels, width) - left,
                             std::min(kCellPixels, height - top)});
    }
    tint_.keep = kFullOpacity - opacity_;
    for (size_t channel = 0; channel < tint_.add.size(); ++channel) {
      tint_.add[channel] = opacity_ * colourByte(colour_, channel);
    }
  }
  return &tint_;
}

void ClientMasks::apply(uint8_t* bits, int width, int height) {
  if (bits == nullptr || !prepare(width, height)) return;
  const size_t rowBytes = size_t(width) * kBytesPerPixel;
  for (const Run& run : runs_) {
    const int firstPixel = run.first * kCellPixels;
    const int endPixel = std::min(run.end * kCellPixels, width);
    const int top = run.row * kCellPixels;
    const int bottom = std::min(top + kCellPixels, height);
    // Cell rows count from the top; stored rows from the bottom.
    for (int y = top; y < bottom; ++y) {
      uint8_t* pixel = bits + size_t(height - 1 - y) * rowBytes + size_t(firstPixel) * kBytesPerPixel;
      for (int x = firstPixel; x < endPixel; ++x, pixel += kBytesPerPixel) {
        pixel[0] = blend_[0][pixel[0]];
        pixel[1] = blend_[1][pixel[1]];
        pixel[2] = blend_[2][pixel[2]];
      }
    }
  }
}

}  // namespace vexa
