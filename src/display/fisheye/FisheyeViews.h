#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "display/fisheye/FisheyeMap.h"
#include "display/fisheye/FisheyeProjection.h"

namespace vexa {

// Fisheye modes: an odd mode draws in the video window, the next even one is the same view in
// the full-screen window.
enum FisheyeMode : int {
  kFisheyeNone = 0,
  kFisheyePtz = 1,
  kFisheyePtzFull = 2,
  kFisheye360 = 5,
  kFisheye360Full = 6,
  kFisheyeQuad = 7,
  kFisheyeQuadFull = 8,
  kFisheyePanorama = 9,
  kFisheyePanoramaFull = 10,
  kFisheyePanoPtz = 11,
  kFisheyePanoPtzFull = 12,
};
constexpr int kFisheyeModeCount = 13;
constexpr int windowMode(int mode) {
  return mode == 0 ? 0 : (mode - 1) / 2 * 2 + 1;
}

// What the user steers in one view: whole degrees and a zoom level. In the 360 modes only pan
// is used (the band's shift).
struct FisheyeViewState {
  static constexpr int kDefaultZoomIndex = 2;
  int pan = 0;
  int tilt = 0;
  int zoomIndex = kDefaultZoomIndex;
  int pendingZoomSteps = 0;
};
constexpr int kMaxFisheyeViews = 4;
using FisheyeViewStates = std::array<FisheyeViewState, kMaxFisheyeViews>;

// Zoom factor of a level, the level clamped to the table.
double fisheyeZoomFactor(int zoomIndex);
// Perspective views a mode shows (the panorama of the panorama modes not counted).
int perspectiveViewCount(int mode);

// Everything the maps of a mode depend on, besides the views' own directions.
struct FisheyeLayout {
  int mode = kFisheyeNone;
  int width = 0;  // output picture
  int height = 0;
  double fieldScale = 1;  // multiplies the perspective zoom when the output was scaled
  FisheyeSource source;
  double diameter = 0;
  double rotateBias = 0;  // radians
  bool operator==(const FisheyeLayout&) const;
};

// The lookup maps of the current mode, rebuilt only as far as something changed.
class FisheyeViews {
 public:
  // Brings the maps up to date with layout and views (dirty: rebuild everything). False when
  // the output cannot be mapped.
  bool update(const FisheyeLayout& layout, const FisheyeViewStates& views, bool dirty);
  // Dewarps a source picture of sourceBytes bytes into output (rows of width x 3 bytes).
  void apply(const uint8_t* source, size_t sourceBytes, uint8_t* output) const;
  // Changes whenever the maps changed, so that a drawn picture can tell it is stale.
  uint64_t version() const { return version_; }
  // The map entry behind an output pixel (stored rows), -1 outside.
  int32_t entryAt(int x, int y) const;

 private:
  void rebuildAll(const FisheyeViewStates& views);
  void rebuildView(int index, const FisheyeViewState& state);
  void buildPanorama(const Rect& rect, double tilt, size_t rowLength, FisheyeMap& map, double arc);
  void compose360(int pan);
  Rect perspectiveRect(int index) const;

  FisheyeMap map_;   // one entry per output pixel
  FisheyeMap band_;  // the 360 modes' double-width band
  PanoramaScratch scratch_;
  FisheyeLayout built_;
  bool haveBuilt_ = false;
  FisheyeViewStates builtViews_{};
  uint64_t version_ = 0;
};

}  // namespace vexa
