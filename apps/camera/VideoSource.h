#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "camera/H264Encoder.h"
#include "camera/H264UnitLayout.h"
#include "camera/JpegEncoder.h"
#include "camera/Mpeg4Encoder.h"
#include "camera/PictureGenerator.h"
#include "camera/PtzControl.h"
#include "camera/SessionDescription.h"
#include "camera/VideoDump.h"

namespace vexa::camera {

struct VideoSourceSettings {
  VideoCodec codec = VideoCodec::H264;
  int width = 0;
  int height = 0;
  int fps = 0;
  int jpegQuality = 0;
  int keyFrameInterval = 0;  // H.264 and MPEG-4
  bool aggregateParameterSets = false;
  H264UnitLayout h264Layout;
  bool mpeg4ConfigInBand = false;  // the configuration in front of every intra VOP
  size_t maxPayloadSize = 0;
  VideoDump* dump = nullptr;  // where the pictures sent are written, when anywhere
  PtzControl* ptz = nullptr;  // the view the pictures show, when not the home picture; outlives
  std::optional<FisheyeSettings> fisheye;  // the pictures lie on a room's floor, seen through it
};

// One session's video: generated pictures, encoded and cut into RTP payloads. Each session has
// its own encoder, so its H.264 or MPEG-4 stream starts with a key picture. Each picture goes to
// the dump as encoded (H.264 in Annex B, MPEG-4 as sent after its configuration) when it yields
// payloads.
class VideoSource {
 public:
  virtual ~VideoSource() = default;

  // The payloads of picture index in sending order; empty when the picture did not encode.
  virtual std::vector<std::vector<uint8_t>> payloadsOf(uint32_t pictureIndex) = 0;
};

// Nullptr when the encoder refuses the settings.
std::unique_ptr<VideoSource> makeVideoSource(const VideoSourceSettings& settings);

}  // namespace vexa::camera
