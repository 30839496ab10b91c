#include "display/overlay/OverlayGeometry.h"

#include <algorithm>
#include <utility>

namespace vexa {

int64_t scale(int64_t a, int64_t from, int64_t to) {
  if (from == 0) return 0;
  return from <= to ? (a * to + from - 1) / from : a * to / from;
}

bool OverlayGeometry::usable() const {
  return spaceWidth > 0 && spaceHeight > 0 && gridCols > 0 && gridRows > 0 && visibleCols > 0 &&
         visibleRows > 0;
}

namespace {

enum class Offsets { kCentred, kZero, kGiven };

// Types 8 and 9: grids of a large sensor of which the camera streams a window or a scaled copy.
struct SensorGridType {
  int64_t sensorWidth, sensorHeight;
  bool capToSensor;  // pictures beyond the sensor count as the whole sensor
  int64_t largeMaskCols, largeMaskRows;
  int smallMaskOrigin[2];
  int64_t smallMotionCols, smallMotionRows;
  int smallMotionOrigin[2];
  bool fullSensorRoi;  // a region-of-interest grid of its own for full-sensor pictures
  int smallRoiOrigin[2];
  int roiOrigin[2];
};

constexpr SensorGridType kType8 = {.sensorWidth = 2048,
                                   .sensorHeight = 1536,
                                   .capToSensor = false,
                                   .largeMaskCols = 128,
                                   .largeMaskRows = 96,
                                   .smallMaskOrigin = {4, 14},
                                   .smallMotionCols = 37,
                                   .smallMotionRows = 21,
                                   .smallMotionOrigin = {1, 4},
                                   .fullSensorRoi = false,
                                   .smallRoiOrigin = {16, 57},
                                   .roiOrigin = {0, 0}};
constexpr SensorGridType kType9 = {.sensorWidth = 2592,
                                   .sensorHeight = 1944,
                                   .capToSensor = true,
                                   .largeMaskCols = 162,
                                   .largeMaskRows = 121,
                                   .smallMaskOrigin = {21, 26},
                                   .smallMotionCols = 29,
                                   .smallMotionRows = 17,
                                   .smallMotionOrigin = {5, 6},
                                   .fullSensorRoi = true,
                                   .smallRoiOrigin = {84, 108},
                                   .roiOrigin = {68, 51}};

struct Builder {
  OverlayGeometry& g;
  int64_t w;  // picture size, swapped for quarter turns
  int64_t h;
  Offsets offsets = Offsets::kCentred;
  bool swapAtEnd = false;

  void space(int64_t sw, int64_t sh) { g.spaceWidth = sw, g.spaceHeight = sh; }
  void grid(int64_t cols, int64_t rows) { g.gridCols = cols, g.gridRows = rows; }
  void visible(int64_t cols, int64_t rows) { g.visibleCols = cols, g.visibleRows = rows; }
  void fixed(int64_t cols, int64_t rows) {
    space(cols, rows);
    grid(cols, rows);
    visible(cols, rows);
  }
  // A grid of whole picture cells of the given size, all of it visible.
  void pictureCells(int64_t cell) {
    grid(w / cell, h / cell);
    visible(w / cell, h / cell);
  }
  void origin(int x, int y) {
    g.setsOrigin = true;
    g.originX = x;
    g.originY = y;
  }
  // The 40 x 30 motion grid covers the whole sensor; the picture shows its centre.
  void sensorWindow(int64_t sensorWidth, int64_t sensorHeight) {
    const int64_t left = (sensorWidth - w) / 2;
    const int64_t top = (sensorHeight - h) / 2;
    g.offsetX = scale(left, sensorWidth, 40);
    g.offsetY = scale(top, sensorHeight, 30);
    visible(scale(left + w, sensorWidth, 40) - g.offsetX,
            scale(top + h, sensorHeight, 30) - g.offsetY);
    offsets = Offsets::kGiven;
  }
  void other() {
    space(80, 60);
    pictureCells(16);
    offsets = Offsets::kZero;
  }

  void build(int gridType, int kind);
  void type2(int kind);
  void sensorGrid(const SensorGridType& t, int kind);
};

void Builder::type2(int kind) {
  const bool cif = w == 352 && h == 240;
  if (kind == kOverlayMask) {
    space(160, 120);
    grid(160, 120);
    visible(cif ? 160 : scale(90, h, w), 90);
  } else {
    space(40, 30);
    grid(40, 30);
    visible(cif ? 40 : std::min<int64_t>(40, scale(23, h, w)), 23);
    g.odd = (40 - g.visibleCols) % 2 != 0;
  }
}

void Builder::sensorGrid(const SensorGridType& t, int kind) {
  const bool large = w >= 1920 || h >= 1080;
  swapAtEnd = true;
  if (kind == kOverlayMask) {
    g.marginCell = 16;
    if (large) {
      space(t.largeMaskCols, t.largeMaskRows);
      grid(t.largeMaskCols, t.largeMaskRows);
      visible(w / 16, h / 16);
      origin(0, 0);
    } else {
      space(120, 67);
      pictureCells(16);
      offsets = Offsets::kZero;
      origin(t.smallMaskOrigin[0], t.smallMaskOrigin[1]);
    }
  } else if (kind == kOverlayMotion) {
    if (large) {
      space(40, 30);
      grid(40, 30);
      if (t.capToSensor) {
        w = std::min(w, t.sensorWidth);
        h = std::min(h, t.sensorHeight);
      }
      sensorWindow(t.sensorWidth, t.sensorHeight);
      origin(0, 0);
    } else {
      fixed(t.smallMotionCols, t.smallMotionRows);
      offsets = Offsets::kZero;
      origin(t.smallMotionOrigin[0], t.smallMotionOrigin[1]);
    }
  } else {
    offsets = Offsets::kZero;
    if (t.fullSensorRoi && w >= 2592 && h >= 1944) {
      fixed(648, 486);
      origin(0, 0);
    } else if (w < 2048 || h < 1536) {
      fixed(480, 270);
      origin(t.smallRoiOrigin[0], t.smallRoiOrigin[1]);
    } else {
      fixed(512, 384);
      origin(t.roiOrigin[0], t.roiOrigin[1]);
    }
  }
}

void Builder::build(int gridType, int kind) {
  const bool hd720 = w == 1280 && h == 720;
  const bool mask = kind == kOverlayMask;
  const bool motion = kind == kOverlayMotion;
  switch (gridType) {
    case 1:
      if (mask) {
        space(160, 128);
        grid(160, 128);
        visible(160, hd720 ? 90 : 128);
        return;
      }
      if (motion) {
        space(40, 32);
        grid(40, 32);
        visible(40, hd720 ? 22 : 32);
        return;
      }
      break;
    case 2:
      if (mask || motion) return type2(kind);
      break;
    case 3:
      if (mask) {
        space(160, 120);
        grid(160, 120);
        visible(160, hd720 ? 90 : 120);
        return;
      }
      if (motion) {
        space(40, 30);
        grid(40, 30);
        visible(40, hd720 ? 22 : 30);
        return;
      }
      break;
    case 4:
    case 5:
    case 6:
      if (mask || motion) {
        // Mask spaces and motion grids of types 4, 5 and 6.
        static constexpr int64_t kSizes[3][4] = {
            {60, 33, 40, 30}, {60, 24, 40, 21}, {40, 32, 28, 30}};
        const int64_t* size = kSizes[gridType - 4];
        offsets = Offsets::kZero;
        if (motion) {
          fixed(size[2], size[3]);
          return;
        }
        space(size[0], size[1]);
        pictureCells(32);
        g.marginCell = 32;
        return;
      }
      break;
    case 7:
      swapAtEnd = true;
      offsets = Offsets::kZero;
      origin(0, 0);
      if (mask) {
        space(120, 67);
        pictureCells(16);
        g.marginCell = 16;
      } else {
        fixed(motion ? 40 : 480, motion ? 30 : 270);
      }
      return;
    case 8:
      return sensorGrid(kType8, kind);
    case 9:
      return sensorGrid(kType9, kind);
    case 10:
      if (mask || motion) {
        swapAtEnd = true;
        offsets = Offsets::kZero;
        origin(0, 0);
        if (mask) {
          space(80, 64);
          if (hd720) {
            grid(80, 64);
            visible(80, 45);
          } else {
            pictureCells(16);
          }
          g.marginCell = 16;
        } else {
          space(40, 30);
          grid(40, 30);
          visible(40, hd720 ? 21 : 30);
        }
        return;
      }
      break;
    default:
      break;
  }
  other();
}

}  // namespace

OverlayGeometry computeOverlayGeometry(int gridType, int kind, int pictureWidth, int pictureHeight,
                                       int rotation) {
  OverlayGeometry g;
  g.gridType = gridType;
  g.kind = kind;
  g.rotation = rotation;
  g.pictureWidth = std::clamp(pictureWidth, 0, kOverlayMaxPictureSide);
  g.pictureHeight = std::clamp(pictureHeight, 0, kOverlayMaxPictureSide);
  Builder b{g, g.pictureWidth, g.pictureHeight};
  if (g.quarterTurn()) std::swap(b.w, b.h);
  b.build(gridType, kind);
  if (b.offsets == Offsets::kCentred) {
    g.offsetX = (g.gridCols - g.visibleCols) / 2;
    g.offsetY = (g.gridRows - g.visibleRows) / 2;
  }
  if (b.swapAtEnd && g.quarterTurn()) {
    std::swap(g.visibleCols, g.visibleRows);
    std::swap(g.gridCols, g.gridRows);
  }
  return g;
}

OverlayArea overlayArea(const OverlayGeometry& geometry, const Rect& video) {
  int64_t rightMargin = 0;
  int64_t bottomMargin = 0;
  if (geometry.marginCell > 0) {
    rightMargin =
        scale(geometry.pictureWidth % geometry.marginCell, geometry.pictureWidth, video.width);
    bottomMargin =
        scale(geometry.pictureHeight % geometry.marginCell, geometry.pictureHeight, video.height);
  }
  OverlayArea area;
  area.left = video.x;
  area.top = video.y;
  area.right = int64_t(video.x) + video.width - 1 - rightMargin;
  area.bottom = int64_t(video.y) + video.height - 1 - bottomMargin;
  return area;
}

}  // namespace vexa
