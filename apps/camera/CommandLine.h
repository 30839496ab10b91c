#pragma once

#include <string>
#include <vector>

#include "camera/MjpegServer.h"

namespace vexa::camera {

// What vexa-camera is asked to do.
struct CameraSettings {
  static constexpr uint16_t kDefaultHttpPort = 8008;

  MjpegServerOptions mjpeg;
  double durationSeconds = 0;  // 0: until SIGINT or SIGTERM
  bool showHelp = false;

  CameraSettings() { mjpeg.port = kDefaultHttpPort; }
};

// Accepts "--name value" and "--name=value". False with a one-line error for an unknown option,
// a missing or malformed value, or a value out of range.
bool parseCommandLine(const std::vector<std::string>& arguments, CameraSettings& settings,
                      std::string& error);

std::string usageText();

}  // namespace vexa::camera
