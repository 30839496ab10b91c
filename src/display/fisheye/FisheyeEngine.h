#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "display/Canvas.h"
#include "display/fisheye/FisheyeCalibration.h"
#include "display/fisheye/FisheyeViews.h"
#include "media/PictureFormat.h"

namespace vexa {

// Turns the circular picture of a fisheye camera into flat views: one or four steerable
// perspective views, a 180 degree panorama, a 360 degree panorama in two strips, or a panorama
// above two perspective views. One per video window; every setting may change at any time and
// the next dewarp rebuilds what it needs.
class FisheyeEngine {
 public:
  static constexpr int64_t kDefaultCentreX = kSensorWidth / 2;
  static constexpr int64_t kDefaultCentreY = kSensorHeight / 2;
  static constexpr int64_t kDefaultDiameter = kSensorHeight;
  static constexpr int kDefaultRotateBiasDegrees = 180;

  FisheyeEngine();

  // "NONE", "PTZ", "360", "4PTZ", "PANORAMA", "PANOPTZ"; false (nothing changed) for other text.
  bool setModeFromText(std::string_view text);
  // The mode drawn now: the window mode, or its full-screen twin while full screen is on.
  int mode() const;
  void setOrientation(int orientation);
  void setRotateBiasDegrees(int32_t degrees);
  // Calibration in sensor pixels; the y centre is given from the sensor's other edge.
  void setCentreX(int32_t x);
  void setCentreY(int32_t y);
  void setDiameter(int32_t diameter);
  void setSensorClass(int sensorClass);

  // Where the video window shows the picture, and the full-screen window's client size.
  void setWindowVideoRect(const Rect& rect);
  void setFullScreenClient(int width, int height);
  // Moves to the full-screen twin of the mode and back, handing the views' directions over.
  void setFullScreen(bool on);
  bool fullScreen() const { return fullScreen_; }

  // The views of the current mode (one for PTZ, four for 4PTZ, two for PANOPTZ; in the 360
  // modes view 0's pan shifts the band).
  FisheyeViewState& view(int index) { return views_[size_t(mode())][size_t(index)]; }
  const FisheyeViewState& view(int index) const { return views_[size_t(mode())][size_t(index)]; }

  // Dewarps a bottom-up BGR picture (rows of width x 3 bytes) into output, which holds
  // outputCapacity bytes. False, with nothing written, when there is nothing to dewarp (mode
  // NONE, no picture or no output area); otherwise outputHeader describes the result.
  bool dewarp(const BITMAPINFOHEADER& sourceHeader, const uint8_t* source, uint8_t* output,
              size_t outputCapacity, BITMAPINFOHEADER& outputHeader);
  // Changes whenever the maps change, so a view change redraws even without a new picture.
  uint64_t mapVersion() const { return maps_.version(); }
  // The map entry behind an output pixel of the last dewarp (stored rows), -1 for none.
  int32_t mapEntry(int x, int y) const { return maps_.entryAt(x, y); }

  // Finds the lens circle in a picture and keeps it as the calibration result; the calibration
  // in use does not change.
  const FisheyeCircle& calibrate(const BITMAPINFOHEADER& header, const uint8_t* bits);
  const FisheyeCircle& calibrationResult() const { return circle_; }

  // The output size and field scale the current mode would use (0 x 0 for none).
  struct OutputPlan {
    int width = 0;
    int height = 0;
    double fieldScale = 1;
  };
  OutputPlan planOutput(size_t outputCapacity) const;

  // Where the lens saw the source pixel behind an output pixel of the last dewarp: its offset
  // from the calibrated centre in sensor pixels, y growing down the sensor. Nothing for a black
  // pixel or a point outside the calibrated circle.
  struct LensOffset {
    double dx = 0;
    double dy = 0;
  };
  std::optional<LensOffset> lensOffsetAt(int x, int storedRow) const;
  // The size of the last dewarped picture (0 x 0 before the first).
  int outputWidth() const { return lastOutputWidth_; }
  int outputHeight() const { return lastOutputHeight_; }
  int32_t rotateBiasDegrees() const { return rotateBiasDegrees_; }

 private:
  FisheyeLayout layoutFor(const BITMAPINFOHEADER& source, const OutputPlan& plan) const;

  int windowMode_ = kFisheyeNone;
  bool fullScreen_ = false;
  int orientation_ = kNormal;
  float rotateBias_;
  int64_t centreX_ = kDefaultCentreX;
  int64_t centreY_ = kDefaultCentreY;
  int64_t diameter_ = kDefaultDiameter;
  int sensorClass_ = kDefaultSensorClass;
  bool dirty_ = true;
  Rect windowVideo_;
  int fullScreenWidth_ = 0;
  int fullScreenHeight_ = 0;
  int twinWidth_ = 0;  // the window's video size when full screen began
  int twinHeight_ = 0;
  std::array<FisheyeViewStates, kFisheyeModeCount> views_{};
  FisheyeViews maps_;
  FisheyeCircle circle_;
  BITMAPINFOHEADER lastSource_{};
  int lastOutputWidth_ = 0;
  int lastOutputHeight_ = 0;
  int32_t rotateBiasDegrees_ = kDefaultRotateBiasDegrees;
};

}  // namespace vexa
