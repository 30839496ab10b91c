#pragma once

#include <cstdint>

namespace vexa::camera {

// A part of the scene, in scene pixels.
struct ViewRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool operator==(const ViewRect&) const = default;
};

// Where a pan/tilt/zoom camera looks in a scene of 4 x 3 pictures: the view starts unzoomed on the
// home picture (second column, second row) and moves only as advance() tells it time has passed.
class PtzView {
 public:
  static constexpr int kSceneColumns = 4;
  static constexpr int kSceneRows = 3;
  static constexpr int kSceneTiles = kSceneColumns * kSceneRows;
  static constexpr int kHomeColumn = 1;
  static constexpr int kHomeRow = 1;
  static constexpr int kMaxSpeed = 100;  // pan, tilt and zoom speeds are -100..100
  static constexpr int kMaxZoomPosition = 999;
  static constexpr double kZoomUnitsPerSecond = 500;  // at full speed
  static constexpr double kMaxMagnification = 4;

  // width x height: one picture, also the size of what the view shows.
  PtzView(int width, int height);

  // Positive pan looks right (the content moves left), positive tilt looks up.
  void setPanTilt(int pan, int tilt);
  void setZoomSpeed(int speed);
  // Brings point (x, y) of the view, as shown in an image of imageWidth x imageHeight, to the
  // middle.
  void centreOn(int x, int y, int imageWidth, int imageHeight);
  void advance(uint32_t ms);

  ViewRect crop() const;
  int zoomPosition() const;
  double magnification() const;
  // Degrees from the scene's middle: pan -180..180, right positive; tilt -90..90, up positive.
  double panDegrees() const;
  double tiltDegrees() const;

 private:
  double sceneWidth() const { return double(width_) * kSceneColumns; }
  double sceneHeight() const { return double(height_) * kSceneRows; }
  void keepInsideScene();

  int width_;
  int height_;
  double centreX_;
  double centreY_;
  double zoom_ = 0;  // 0..kMaxZoomPosition
  int pan_ = 0;
  int tilt_ = 0;
  int zoomSpeed_ = 0;
};

}  // namespace vexa::camera
