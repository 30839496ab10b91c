#include "viewer/ViewerFisheye.h"

#include <array>
#include <ostream>

#include "display/CImgDlg.h"

namespace vexa::viewer {

namespace {

struct ModeName {
  int mode;
  const char* name;
};
// In the order m steps through them.
constexpr std::array<ModeName, 6> kModes{{{kFisheyeNone, "NONE"},
                                          {kFisheyePtz, "PTZ"},
                                          {kFisheye360, "360"},
                                          {kFisheyeQuad, "4PTZ"},
                                          {kFisheyePanorama, "PANORAMA"},
                                          {kFisheyePanoPtz, "PANOPTZ"}}};

const char* nextModeName(const FisheyeEngine* engine) {
  const int current = engine != nullptr ? windowMode(engine->mode()) : kFisheyeNone;
  for (size_t i = 0; i < kModes.size(); ++i) {
    if (kModes[i].mode == current) return kModes[(i + 1) % kModes.size()].name;
  }
  return kModes[1].name;
}

}  // namespace

void ViewerFisheye::apply() {
  if (options_.centre) {
    window_.SetFisheyeCentreX(options_.centre->first);
    window_.SetFisheyeCentreY(options_.centre->second);
  }
  if (options_.diameter) window_.SetFisheyeDiameter(*options_.diameter);
  if (options_.rotateBiasDegrees) window_.SetFisheyeRotateBias(*options_.rotateBiasDegrees);
  if (!options_.mode.empty()) window_.SetFisheyeMode(options_.mode);
  if (FisheyeEngine* engine = window_.fisheyeEngine(); engine != nullptr && options_.view) {
    FisheyeViewState& view = engine->view(0);
    view.pan = options_.view->pan;
    view.tilt = options_.view->tilt;
    view.zoomIndex = options_.view->zoomIndex;
  }
  if (options_.calibrate) calibrate();
}

bool ViewerFisheye::key(char key) {
  switch (key) {
    case 'm': {
      const char* next = nextModeName(window_.fisheyeEngine());
      window_.SetFisheyeMode(next);
      out_ << "vexa-viewer: fisheye " << next << std::endl;
      return true;
    }
    case 'c':
      if (window_.fisheyeEngine() == nullptr) return false;
      calibrate();
      return true;
    case '+':
    case '-':
      window_.fisheyeZoomStep(key == '+' ? 1 : -1);
      return true;
    default:
      return false;
  }
}

void ViewerFisheye::calibrate() {
  window_.FishEyeCalibrate();
  calibrationAsked_ = true;
}

void ViewerFisheye::poll() {
  if (!calibrationAsked_ || window_.fisheyeCalibrationPending()) return;
  calibrationAsked_ = false;
  const FisheyeCircle circle = window_.fisheyeCalibration();
  out_ << "vexa-viewer: fisheye circle: centre " << circle.centreX << "," << circle.centreY
       << " diameter " << circle.diameter << std::endl;
}

}  // namespace vexa::viewer
