#pragma once

#include "display/Canvas.h"

namespace vexa {

// The full-screen window's digital zoom: which part of the picture is shown, and how the wheel
// and mouse drags change it.
class DigitalZoom {
 public:
  static constexpr int kMinZoom = 1;
  static constexpr int kMaxZoom = 12;
  // Wheel notches in one direction that make one zoom step.
  static constexpr int kNotchesPerStep = 3;

  enum class Step { kNone, kIn, kOut };

  virtual ~DigitalZoom() = default;

  // Zoom 1, no offsets, no pending drag, no counted notches.
  void reset();

  // One wheel event; delta >= 1 is a notch up (in), <= -1 a notch down. Returns the step the
  // notches made, if any, without applying it: the caller decides whether the step goes to the
  // digital zoom or elsewhere.
  Step countNotch(int delta);
  // Applies a step to the zoom: in up to the maximum; out below 1 resets zoom and offsets.
  void apply(Step step);

  // Mouse movement in client pixels, turned into picture pixels at the next sourceRect.
  void addDrag(int dx, int dy);

  // The part of a W x H picture to show in a client of the given size (top-down coordinates);
  // folds the pending drag into the offsets first.
  Rect sourceRect(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight);

  int zoom() const { return zoom_; }
  int offsetX() const { return offsetX_; }
  int offsetY() const { return offsetY_; }

 private:
  int zoom_ = kMinZoom;
  int offsetX_ = 0;
  int offsetY_ = 0;
  int pendingX_ = 0;
  int pendingY_ = 0;
  int notches_ = 0;  // positive: consecutive notches up; negative: down
};

}  // namespace vexa
