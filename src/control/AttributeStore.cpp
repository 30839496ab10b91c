#include "control/AttributeStore.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "common/StreamConfig.h"
#include "display/CImgDlg.h"

namespace vexa::attributes {

namespace {

constexpr std::array<std::string_view, 6> kModels = {"TQ310", "TQ311", "TQ320",
                                                     "TQ312", "TQ330", "TQ323"};
constexpr std::array<std::string_view, 3> kSensors = {"ICX445", "IMX035", "OV2715"};
constexpr std::array<std::string_view, 6> kSensorModes = {
    "2592x1944", "2048x1536", "1920x1080", "1280x1024", "1280x720", "1280x960"};

constexpr int32_t kStored = 0;
constexpr int32_t kNotStored = 1;

template <size_t N>
bool listed(const std::array<std::string_view, N>& values, const std::string& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

// The pan/tilt/zoom model flags follow the model again whenever the camera's description changes.
void refreshPtzModel(CImgDlg& window) { window.ptz().SetModel(window.model()); }

}  // namespace

int32_t setString(CImgDlg& window, StreamConfig& config, const std::string& key,
                  const std::string& value) {
  if (key == "MODEL") {
    if (!listed(kModels, value)) return kNotStored;
    window.SetModel(value);
    return kStored;
  }
  if (key == "SENSOR") {
    if (!listed(kSensors, value)) return kNotStored;
    window.SetSensor(value);
    return kStored;
  }
  if (key == "SENSORMODE") {
    if (!listed(kSensorModes, value)) return kNotStored;
    window.SetSensorMode(value);
    return kStored;
  }
  if (key == "WEBVERSION") {
    window.SetWebVersion(value);
    refreshPtzModel(window);
    return kStored;
  }
  if (key == "BRAND") {
    config.brand = value;
    window.SetBrand(value);
    refreshPtzModel(window);
    return kStored;
  }
  if (key == "ROTATION") return window.SetRotation(value);
  if (key == "DISPLAYMODE") return window.SetDisplayMode(value);
  if (key == "FISHEYE_MODE") return window.SetFisheyeMode(value);
  if (key == "USER") {
    window.ptzSender().setUser(value);
    config.userName = value;
  } else if (key == "PASS") {
    window.ptzSender().setPassword(value);
    config.password = value;
  }
  return kNotStored;
}

void setInteger(CImgDlg& window, const std::string& key, int32_t value) {
  if (key == "EN_PT") {
    window.ptz().SetEnPt(value);
  } else if (key == "EN_CENTER") {
    window.ptz().SetEnCenter(value);
  } else if (key == "EN_ZOOM") {
    window.ptz().SetEnZoom(value);
  } else if (key == "HTTPPORT") {
    window.ptzSender().setPort(value);  // it keeps its port for one no port can be
  } else if (key == "FISHEYE_ROTATE_BIAS") {
    window.SetFisheyeRotateBias(value);
  } else if (key == "FISHEYE_CX") {
    window.SetFisheyeCentreX(value);
  } else if (key == "FISHEYE_CY") {
    window.SetFisheyeCentreY(value);
  } else if (key == "FISHEYE_DIAMETER") {
    window.SetFisheyeDiameter(value);
  }
}

std::string getString(const CImgDlg& window, const std::string& key) {
  if (key == "VIEWER_VERSION") return kViewerVersion;
  const FisheyeCircle circle = window.fisheyeCalibration();
  if (key == "FISHEYE_CALIBRATE_CX") return std::to_string(circle.centreX);
  if (key == "FISHEYE_CALIBRATE_CY") return std::to_string(circle.centreY);
  if (key == "FISHEYE_CALIBRATE_DIAMETER") return std::to_string(circle.diameter);
  return {};
}

}  // namespace vexa::attributes
