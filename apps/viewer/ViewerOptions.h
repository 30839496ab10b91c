#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "display/MotionState.h"
#include "viewer/OverlayItem.h"

namespace vexa::viewer {

// The fisheye settings a camera's page would set; each one given makes the window dewarp-ready.
struct FisheyeOptions {
  std::string mode;  // NONE PTZ 360 4PTZ PANORAMA PANOPTZ; empty: not given
  std::optional<std::pair<int32_t, int32_t>> centre;  // sensor pixels, y from the top
  std::optional<int32_t> diameter;
  std::optional<int32_t> rotateBiasDegrees;
  struct View {
    int pan = 0;
    int tilt = 0;
    int zoomIndex = 0;
  };
  std::optional<View> view;  // the first view's direction
  bool calibrate = false;    // print the circle found in the first picture
  bool any() const {
    return !mode.empty() || centre || diameter || rotateBiasDegrees || view || calibrate;
  }
};

struct ViewerOptions {
  uint32_t protocol = 1;
  std::string user;
  std::string password;
  std::string displayMode = "STRETCH";
  bool fullscreen = false;
  bool headless = false;
  bool paintOffscreen = false;
  bool mute = false;
  bool talk = false;  // send the microphone to the camera (RTSP with RTP over UDP only)
  std::optional<double> durationSeconds;
  std::string snapshotPath;
  std::string recordPath;  // a file, or a folder for a time-stamped name
  std::string command;     // an HTTP request target: sent instead of playing a stream
  int32_t timeoutMs = 5000;
  bool stats = false;
  bool reportPictures = false;
  bool motion = false;  // the motion-state window on the camera's motion port
  uint16_t motionPort = MotionState::kMotionPort;
  std::string motionSnapshotPath;  // the motion graph at the end; implies motion
  bool help = false;
  // Pan/tilt/zoom: the camera model ("TQ330" with --ptz unless named), whether the joystick,
  // centre clicks and zoom are on, and the port the commands go to.
  std::string model;
  bool ptz = false;
  int32_t httpPort = 80;
  FisheyeOptions fisheye;
  // The camera's description (with --model, --sensor-mode and --rotation), choosing the grid its
  // overlays are placed on, and the overlays to show.
  std::string sensor;
  std::string sensorMode;  // WxH, the stream's resolution
  std::string webVersion;
  std::string rotation;  // normal flip mirror rotate counterclockwise clockwise
  OverlayItems overlays;
  bool printOverlays = false;
  // Member calls of the control as JSON lines, one answer line each; "-" reads standard input.
  // The address is optional then, and the options' own calls are printed with printCalls.
  std::string scriptPath;
  bool printCalls = false;
  std::string address;
};

struct ParseResult {
  ViewerOptions options;
  std::string error;  // empty when the arguments were good
};

ParseResult parseViewerOptions(const std::vector<std::string>& arguments);

std::string viewerUsage();

}  // namespace vexa::viewer
