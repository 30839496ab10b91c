#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera/FisheyeLens.h"
#include "camera/MjpegServer.h"
#include "camera/MotionServer.h"
#include "camera/RtspServer.h"

namespace vexa::camera {

// What vexa-camera is asked to do.
struct CameraSettings {
  static constexpr uint16_t kDefaultHttpPort = 8008;
  static constexpr uint16_t kDefaultRtspPort = 8554;

  // The picture options (size, rate, quality, address), credentials, redirects, the request log
  // and dropping apply to both servers.
  MjpegServerOptions mjpeg;
  RtspServerOptions rtsp;
  MotionServerOptions motion;
  double durationSeconds = 0;  // 0: until SIGINT or SIGTERM
  std::string dumpVideoPath;   // empty: no dump
  // Every stream shows a room through a fisheye lens; copied into both servers' options.
  std::optional<FisheyeSettings> fisheye;
  bool showHelp = false;
  bool authChosen = false;        // --auth given, which wants credentials
  bool motionPortChosen = false;  // a busy default motion port only warns

  CameraSettings() {
    mjpeg.port = kDefaultHttpPort;
    rtsp.port = kDefaultRtspPort;
  }
};

// Accepts "--name value" and "--name=value". False with a one-line error for an unknown option,
// a missing or malformed value, a value out of range, or --auth without credentials.
bool parseCommandLine(const std::vector<std::string>& arguments, CameraSettings& settings,
                      std::string& error);

std::string usageText();

}  // namespace vexa::camera
