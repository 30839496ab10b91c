#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/RtspServerOptions.h"
#include "camera/VideoSource.h"

namespace vexa::camera {

// One stream the camera offers under its own path: what a session needs to make it, and the
// description DESCRIBE answers with.
struct StreamDefinition {
  std::string name;  // the path without its '/': "h264", "h264_2", "jpeg", "mpeg4"
  VideoSourceSettings video;
  uint8_t payloadType = 0;
  std::string description;  // SDP; empty when the stream cannot be made
  std::string unavailable;  // why it cannot, for traces
};

constexpr std::string_view kH264Stream = "h264";
constexpr std::string_view kSecondH264Stream = "h264_2";  // half the width and height
constexpr std::string_view kJpegStream = "jpeg";
constexpr std::string_view kMpeg4Stream = "mpeg4";

// The camera's streams for these options. sessionId goes into the descriptions' origin lines,
// talkPort into their audio lines.
std::vector<StreamDefinition> defineStreams(const RtspServerOptions& options, uint64_t sessionId,
                                            uint16_t talkPort = 0);

}  // namespace vexa::camera
