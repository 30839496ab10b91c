#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "camera/FfmpegEncoder.h"
#include "camera/Picture.h"

namespace vexa::camera {

struct Mpeg4EncoderSettings {
  int width = 0;
  int height = 0;
  int fps = 0;
  int keyFrameInterval = 0;  // pictures from one intra VOP to the next
};

// MPEG-4 visual, simple profile, by libavcodec: one VOP out for every picture in, no B-VOPs, an
// intra VOP every keyFrameInterval pictures. The configuration (visual object sequence, visual
// object and video object layer headers) is handed out at open and not repeated in band.
class Mpeg4Encoder {
 public:
  static constexpr int kMaxSide = 4096;

  Mpeg4Encoder() = default;
  Mpeg4Encoder(const Mpeg4Encoder&) = delete;
  Mpeg4Encoder& operator=(const Mpeg4Encoder&) = delete;

  // False for odd or out-of-range sizes, a bad rate or interval, or a configuration without a
  // visual object sequence.
  bool open(const Mpeg4EncoderSettings& settings);
  void close();
  bool isOpen() const { return encoder_.isOpen(); }

  // From its visual object sequence start code on, known as soon as the encoder is open.
  const std::vector<uint8_t>& configuration() const { return configuration_; }

  // One picture's bytes as the encoder gives them (a group of VOPs header opens an intra VOP);
  // empty on failure. The picture is in full range and goes out in video range.
  std::vector<uint8_t> encode(const YuvPicture& picture);

 private:
  bool takeConfiguration();

  FfmpegEncoder encoder_;
  std::vector<uint8_t> configuration_;
};

}  // namespace vexa::camera
