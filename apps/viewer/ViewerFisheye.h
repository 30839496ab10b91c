#pragma once

#include <iosfwd>

#include "viewer/ViewerOptions.h"

namespace vexa {
class CImgDlg;
}

namespace vexa::viewer {

// The command line's fisheye settings on the video window, its fisheye keys, and the circles
// found when asked.
class ViewerFisheye {
 public:
  ViewerFisheye(CImgDlg& window, const FisheyeOptions& options, std::ostream& out)
      : window_(window), options_(options), out_(out) {}

  // Before the stream starts.
  void apply();
  // m next mode, c find the circle, + and - zoom. False for other keys, and for c while no
  // fisheye setting was made (the camera's centre mode has it then).
  bool key(char key);
  // Prints a circle once it was found.
  void poll();

 private:
  void calibrate();

  CImgDlg& window_;
  const FisheyeOptions& options_;
  std::ostream& out_;
  bool calibrationAsked_ = false;
};

}  // namespace vexa::viewer
