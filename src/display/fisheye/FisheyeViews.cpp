#include "display/fisheye/FisheyeViews.h"

#include <algorithm>

#include "media/PictureFormat.h"

namespace vexa {

namespace {

constexpr std::array<double, 10> kZoomFactors{0.25, 0.33, 0.5,  0.75, 1.0,
                                              1.25, 1.4,  1.75, 2.0,  2.5};

bool is360(int mode) {
  return windowMode(mode) == kFisheye360;
}
bool hasPanorama(int mode) {
  return windowMode(mode) == kFisheyePanorama || windowMode(mode) == kFisheyePanoPtz;
}

// Whether two views would be drawn the same.
bool sameDirection(const FisheyeViewState& a, const FisheyeViewState& b) {
  return a.pan == b.pan && a.tilt == b.tilt &&
         fisheyeZoomFactor(a.zoomIndex) == fisheyeZoomFactor(b.zoomIndex);
}

int64_t positiveModulo(int64_t value, int64_t modulus) {
  const int64_t r = value % modulus;
  return r < 0 ? r + modulus : r;
}

}  // namespace

double fisheyeZoomFactor(int zoomIndex) {
  return kZoomFactors[size_t(std::clamp(zoomIndex, 0, int(kZoomFactors.size()) - 1))];
}

int perspectiveViewCount(int mode) {
  switch (windowMode(mode)) {
    case kFisheyePtz:
      return 1;
    case kFisheyeQuad:
      return 4;
    case kFisheyePanoPtz:
      return 2;
    default:
      return 0;
  }
}

bool FisheyeLayout::operator==(const FisheyeLayout& o) const {
  return mode == o.mode && width == o.width && height == o.height && fieldScale == o.fieldScale &&
         source.width == o.source.width && source.height == o.source.height &&
         source.centre.x == o.source.centre.x && source.centre.y == o.source.centre.y &&
         source.mapping == o.source.mapping && diameter == o.diameter && rotateBias == o.rotateBias;
}

Rect FisheyeViews::perspectiveRect(int index) const {
  const int w = built_.width, h = built_.height;
  switch (windowMode(built_.mode)) {
    case kFisheyeQuad: {
      // Stored rows: views 0 and 1 are the upper pair on screen.
      const int hw = (w - 1) / 2, hh = (h - 1) / 2;
      const int x = index % 2 == 0 ? 0 : w - hw;
      const int y = index < 2 ? h - hh : 0;
      return {x, y, hw, hh};
    }
    case kFisheyePanoPtz:
      return {index == 0 ? 0 : w / 2, 0, w / 2, h / 2};
    default:
      return {0, 0, w, h};
  }
}

bool FisheyeViews::update(const FisheyeLayout& layout, const FisheyeViewStates& views, bool dirty) {
  const size_t pixels = size_t(layout.width) * size_t(layout.height);
  if (layout.width <= 0 || layout.height <= 0 || !map_.reserve(pixels)) return false;
  if (is360(layout.mode) && !band_.reserve(2 * pixels)) return false;
  if (dirty || !haveBuilt_ || !(layout == built_)) {
    built_ = layout;
    haveBuilt_ = true;
    rebuildAll(views);
    return true;
  }
  if (is360(layout.mode)) {
    if (views[0].pan != builtViews_[0].pan) compose360(views[0].pan);
  } else {
    for (int i = 0; i < perspectiveViewCount(layout.mode); ++i) {
      if (!sameDirection(views[size_t(i)], builtViews_[size_t(i)]))
        rebuildView(i, views[size_t(i)]);
    }
  }
  return true;
}

void FisheyeViews::rebuildAll(const FisheyeViewStates& views) {
  const int w = built_.width, h = built_.height;
  map_.clear(size_t(w) * size_t(h));
  ++version_;
  const double halfTurnArc = kFisheyePi * kLensFocal / w;
  if (is360(built_.mode)) {
    const Rect whole{0, 0, 2 * w, h};
    buildPanorama(whole, -90, size_t(2 * w), band_, 2 * kFisheyePi * kLensFocal / (2 * w));
    compose360(views[0].pan);
    return;
  }
  if (windowMode(built_.mode) == kFisheyePanorama) {
    const int bandHeight = h / 2;
    buildPanorama({0, (h - bandHeight) / 2, w, bandHeight}, 0, size_t(w), map_, halfTurnArc);
  } else if (hasPanorama(built_.mode)) {
    buildPanorama({0, h / 2, w, h / 2}, 0, size_t(w), map_, halfTurnArc);
  }
  // The bands between the quadrants stay as cleared above.
  for (int i = 0; i < perspectiveViewCount(built_.mode); ++i) rebuildView(i, views[size_t(i)]);
}

void FisheyeViews::buildPanorama(const Rect& rect, double tilt, size_t rowLength, FisheyeMap& map,
                                 double arc) {
  if (rect.empty()) return;
  PanoramaView view;
  view.tilt = tilt;
  view.arc = arc;
  view.limit = built_.diameter;
  view.rotateBias = built_.rotateBias;
  buildPanoramaMap(built_.source, view, {map.data(), rowLength, rect}, scratch_);
}

void FisheyeViews::rebuildView(int index, const FisheyeViewState& state) {
  builtViews_[size_t(index)] = state;
  ++version_;
  const Rect rect = perspectiveRect(index);
  if (rect.empty()) return;
  PerspectiveView view;
  // A view looking below the horizon is the one turned half round looking above it.
  view.pan = state.tilt < 0 ? double(state.pan) + 180 : state.pan;
  view.tilt = state.tilt < 0 ? -double(state.tilt) : state.tilt;
  view.zoom = fisheyeZoomFactor(state.zoomIndex) * built_.fieldScale;
  view.roll = windowMode(built_.mode) == kFisheyePanoPtz;
  view.rotateBias = built_.rotateBias;
  buildPerspectiveMap(built_.source, view, {map_.data(), size_t(built_.width), rect});
}

void FisheyeViews::compose360(int pan) {
  builtViews_[0].pan = pan;
  ++version_;
  // The lower part of the output shows the band's first half, the upper part its second;
  // the pan shifts both, wrapping round within the band's row.
  const int64_t w = built_.width, h = built_.height, bandRow = 2 * w;
  const int64_t partHeight = h / 2 + 1;
  const int64_t shift = int64_t(double(pan) / 180 * double(w));
  const int32_t* band = band_.data();
  int32_t* out = map_.data();
  for (int64_t y = 0; y < h; ++y) {
    const int32_t* row = band + (y % partHeight) * bandRow;
    const int64_t start = shift + (y / partHeight) * w;
    for (int64_t x = 0; x < w; ++x) out[y * w + x] = row[positiveModulo(start + x, bandRow)];
  }
}

void FisheyeViews::apply(const uint8_t* source, size_t sourceBytes, uint8_t* output) const {
  if (!haveBuilt_) return;
  applyFisheyeMap(map_.data(), size_t(built_.width) * size_t(built_.height), source, sourceBytes,
                  output);
}

int32_t FisheyeViews::entryAt(int x, int y) const {
  if (!haveBuilt_ || x < 0 || y < 0 || x >= built_.width || y >= built_.height) return -1;
  return map_.data()[size_t(y) * size_t(built_.width) + size_t(x)];
}

}  // namespace vexa
