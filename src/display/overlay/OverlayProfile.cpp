#include "display/overlay/OverlayProfile.h"

namespace vexa {

namespace {

OverlayGridChoice withOrigin(int gridType, int originX, int originY) {
  return {gridType, true, originX, originY};
}

}  // namespace

OverlayGridChoice OverlayProfile::choose(int kind, int currentGridType) const {
  if (model == "TQ311") {
    if (sensor != "ICX445") return withOrigin(1, 0, 0);
    return withOrigin(resolution == "1280x960" ? 3 : 2, 0, 0);
  }
  if (model == "TQ312") {
    const bool fullFrame = resolution == "1280x1024";
    if (sensor != "IMX035") {
      if (!fullFrame) return withOrigin(4, 0, 0);
      // Masks and motion windows of this camera count their columns from different edges.
      return kind != 0 ? withOrigin(6, 6, 0) : withOrigin(6, 10, 0);
    }
    if (!fullFrame && webVersion == "0.1") return withOrigin(5, 0, 4);
    return withOrigin(4, 0, 0);
  }
  if (model == "TQ323") {
    // The origin of these grids depends on the picture size: the geometry sets it.
    if (resolution == "1280x1024") return {10};
    if (resolution == "1920x1080") return {7};
    if (resolution == "2048x1536") return {8};
    if (resolution == "2592x1944") return {9};
    return {currentGridType};
  }
  return withOrigin(0, 0, 0);
}

}  // namespace vexa
