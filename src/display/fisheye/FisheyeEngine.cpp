#include "display/fisheye/FisheyeEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/ViewFrame.h"

namespace vexa {

namespace {

constexpr float kPiFloat = 3.1415927f;

struct ModeName {
  std::string_view text;
  int mode;
};
constexpr std::array<ModeName, 6> kModeNames{{{"NONE", kFisheyeNone},
                                              {"PTZ", kFisheyePtz},
                                              {"360", kFisheye360},
                                              {"4PTZ", kFisheyeQuad},
                                              {"PANORAMA", kFisheyePanorama},
                                              {"PANOPTZ", kFisheyePanoPtz}}};

float degreesToRadians(int32_t degrees) {
  return float(degrees) * kPiFloat / 180.0f;
}

// Scales w x h down, keeping its ratio, until a picture of that size fits capacity bytes.
void fitToCapacity(int64_t& width, int64_t& height, size_t capacity) {
  const int64_t maxPixels = int64_t(capacity / kBytesPerPixel);
  if (width * height <= maxPixels) return;
  const double k = std::sqrt(double(maxPixels) / (double(width) * double(height)));
  width = std::max<int64_t>(1, int64_t(double(width) * k));
  height = std::max<int64_t>(1, int64_t(double(height) * k));
  // Only a side clamped to one pixel can still leave it too large.
  while (width * height > maxPixels) (width >= height ? width : height) -= 1;
}

}  // namespace

FisheyeEngine::FisheyeEngine() : rotateBias_(degreesToRadians(kDefaultRotateBiasDegrees)) {
  // The views of a multi-view mode start out looking to different sides, not all at one spot.
  constexpr int kSideTilt = 45;
  constexpr int kQuarterTurn = 90;
  for (const int mode : {kFisheyeQuad, kFisheyeQuadFull, kFisheyePanoPtz, kFisheyePanoPtzFull}) {
    const int views = perspectiveViewCount(mode);
    for (int i = 0; i < views; ++i) {
      views_[size_t(mode)][size_t(i)] = {kQuarterTurn * 4 / views * i, kSideTilt,
                                         FisheyeViewState::kDefaultZoomIndex, 0};
    }
  }
}

bool FisheyeEngine::setModeFromText(std::string_view text) {
  for (const ModeName& name : kModeNames) {
    if (name.text != text) continue;
    windowMode_ = name.mode;
    dirty_ = true;
    return true;
  }
  return false;
}

int FisheyeEngine::mode() const {
  return windowMode_ == kFisheyeNone ? kFisheyeNone : windowMode_ + (fullScreen_ ? 1 : 0);
}

void FisheyeEngine::setOrientation(int orientation) {
  if (orientation < kNormal || orientation > kClockwise) return;
  orientation_ = orientation;
  dirty_ = true;
}

void FisheyeEngine::setRotateBiasDegrees(int32_t degrees) {
  rotateBias_ = degreesToRadians(degrees);
  rotateBiasDegrees_ = degrees;
  dirty_ = true;
}

void FisheyeEngine::setCentreX(int32_t x) {
  centreX_ = x;
  dirty_ = true;
}

void FisheyeEngine::setCentreY(int32_t y) {
  centreY_ = int64_t(kSensorHeight) - y;
  dirty_ = true;
}

void FisheyeEngine::setDiameter(int32_t diameter) {
  diameter_ = diameter;
  dirty_ = true;
}

void FisheyeEngine::setSensorClass(int sensorClass) {
  sensorClass_ = sensorClass;
  dirty_ = true;
}

void FisheyeEngine::setWindowVideoRect(const Rect& rect) {
  if (rect == windowVideo_) return;
  windowVideo_ = rect;
  dirty_ = true;
}

void FisheyeEngine::setFullScreenClient(int width, int height) {
  if (width == fullScreenWidth_ && height == fullScreenHeight_) return;
  fullScreenWidth_ = width;
  fullScreenHeight_ = height;
  dirty_ = true;
}

void FisheyeEngine::setFullScreen(bool on) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  dirty_ = true;
  for (int mode = kFisheyePtz; mode + 1 < kFisheyeModeCount; mode += 2) {
    FisheyeViewStates& window = views_[size_t(mode)];
    FisheyeViewStates& twin = views_[size_t(mode + 1)];
    for (size_t i = 0; i < window.size(); ++i) {
      FisheyeViewState& from = on ? window[i] : twin[i];
      FisheyeViewState& to = on ? twin[i] : window[i];
      to.pan = from.pan;
      to.tilt = from.tilt;
      to.zoomIndex = from.zoomIndex;
    }
  }
  if (on) {
    twinWidth_ = windowVideo_.width;
    twinHeight_ = windowVideo_.height;
  }
}

FisheyeEngine::OutputPlan FisheyeEngine::planOutput(size_t outputCapacity) const {
  int64_t width = 0, height = 0;
  double fieldScale = 1;
  switch (mode()) {
    case kFisheyePtz:
    case kFisheyeQuad:
    case kFisheyePanoPtz:
      width = int64_t(windowVideo_.x) + windowVideo_.width;
      height = int64_t(windowVideo_.y) + windowVideo_.height;
      break;
    case kFisheye360:
    case kFisheyePanorama:
      width = windowVideo_.width;
      height = windowVideo_.height;
      break;
    case kFisheye360Full:
      width = fullScreenWidth_;
      height = fullScreenHeight_;
      break;
    case kFisheyePtzFull:
    case kFisheyeQuadFull:
    case kFisheyePanoramaFull:
    case kFisheyePanoPtzFull: {
      // Laid out as if the picture had the window's size, so the view keeps its shape; the
      // perspective views keep their field of view as they grow.
      if (twinWidth_ <= 0 || twinHeight_ <= 0) return {};
      const Rect video = ViewFrame::layout(
          ViewFrame::kFit, {0, 0, fullScreenWidth_, fullScreenHeight_}, twinWidth_, twinHeight_);
      width = video.width;
      height = video.height;
      fieldScale = double(width) / twinWidth_;
      break;
    }
    default:
      return {};
  }
  if (width <= 0 || height <= 0) return {};
  // An output larger than the dewarp buffer is made smaller; the canvas stretches it back.
  const int64_t requestedWidth = width;
  fitToCapacity(width, height, std::min(outputCapacity, kDisplayPictureBytes));
  fieldScale *= double(width) / double(requestedWidth);
  return {int(width), int(height), fieldScale};
}

FisheyeLayout FisheyeEngine::layoutFor(const BITMAPINFOHEADER& source,
                                       const OutputPlan& plan) const {
  FisheyeLayout layout;
  layout.mode = mode();
  layout.width = plan.width;
  layout.height = plan.height;
  layout.fieldScale = plan.fieldScale;
  layout.source.width = source.biWidth;
  layout.source.height = source.biHeight;
  layout.source.centre = effectiveCentre(orientation_, centreX_, centreY_);
  layout.source.mapping =
      SensorMapping(sensorClass_, orientation_, source.biWidth, source.biHeight);
  layout.diameter = double(diameter_);
  layout.rotateBias = rotateBias_;
  return layout;
}

bool FisheyeEngine::dewarp(const BITMAPINFOHEADER& sourceHeader, const uint8_t* source,
                           uint8_t* output, size_t outputCapacity, BITMAPINFOHEADER& outputHeader) {
  const int64_t sourceBytes =
      int64_t(sourceHeader.biWidth) * sourceHeader.biHeight * kBytesPerPixel;
  const bool sourceUsable = source && sourceHeader.biWidth > 0 && sourceHeader.biHeight > 0 &&
                            sourceBytes <= std::numeric_limits<int32_t>::max();
  if (mode() == kFisheyeNone || !sourceUsable || !output) return false;
  const OutputPlan plan = planOutput(outputCapacity);
  if (plan.width <= 0 || plan.height <= 0) return false;
  if (!maps_.update(layoutFor(sourceHeader, plan), views_[size_t(mode())], dirty_)) return false;
  dirty_ = false;
  maps_.apply(source, size_t(sourceBytes), output);
  lastSource_ = sourceHeader;
  lastOutputWidth_ = plan.width;
  lastOutputHeight_ = plan.height;
  outputHeader = makeBgrPictureHeader(plan.width, plan.height);
  outputHeader.biSizeImage = uint32_t(size_t(plan.width) * size_t(plan.height) * kBytesPerPixel);
  return true;
}

std::optional<FisheyeEngine::LensOffset> FisheyeEngine::lensOffsetAt(int x, int storedRow) const {
  const int32_t entry = mapEntry(x, storedRow);
  const int64_t stride = int64_t(lastSource_.biWidth) * kBytesPerPixel;
  if (entry < 0 || stride <= 0) return std::nullopt;
  const double streamX = double((entry % stride) / kBytesPerPixel);
  const double streamY = double(entry / stride);
  const SensorMapping mapping(sensorClass_, orientation_, lastSource_.biWidth,
                              lastSource_.biHeight);
  const SensorPoint sensor = mapping.toSensor(streamX, streamY);
  const SensorPoint centre = effectiveCentre(orientation_, centreX_, centreY_);
  // The maps sample one sensor pixel up and left of the lens point.
  const LensOffset offset{sensor.x + 1 - centre.x, sensor.y + 1 - centre.y};
  const double radius = double(diameter_) / 2;
  if (radius * radius - offset.dx * offset.dx - offset.dy * offset.dy <= 0) return std::nullopt;
  return offset;
}

const FisheyeCircle& FisheyeEngine::calibrate(const BITMAPINFOHEADER& header, const uint8_t* bits) {
  circle_ = detectFisheyeCircle(header, bits);
  return circle_;
}

}  // namespace vexa
