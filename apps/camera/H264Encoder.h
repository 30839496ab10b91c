#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "camera/FfmpegEncoder.h"
#include "camera/Picture.h"

namespace vexa::camera {

using NalUnit = std::vector<uint8_t>;

// The NAL unit types (the low five bits of the header byte) the camera makes or looks for.
namespace nal {
constexpr uint8_t kTypeMask = 0x1F;
constexpr uint8_t kIdrSlice = 5;
constexpr uint8_t kSei = 6;
constexpr uint8_t kSps = 7;
constexpr uint8_t kPps = 8;
constexpr uint8_t kAccessUnitDelimiter = 9;

inline uint8_t typeOf(std::span<const uint8_t> unit) {
  return unit.empty() ? 0 : unit[0] & kTypeMask;
}
}  // namespace nal

// Splits an Annex B byte stream at its start codes (00 00 01 or 00 00 00 01); the units keep their
// header byte and lose the start codes and trailing zero bytes.
std::vector<std::span<const uint8_t>> splitAnnexB(std::span<const uint8_t> stream);

struct H264EncoderSettings {
  int width = 0;
  int height = 0;
  int fps = 0;
  int keyFrameInterval = 0;  // pictures from one IDR to the next
};

// Constrained baseline H.264 by libx264 through FFmpeg, tuned for latency: one access unit out
// for every picture in, no B-frames, an IDR every keyFrameInterval pictures with the sequence and
// picture parameter sets repeated in band before it.
class H264Encoder {
 public:
  static constexpr int kMaxSide = 4096;

  H264Encoder() = default;
  H264Encoder(const H264Encoder&) = delete;
  H264Encoder& operator=(const H264Encoder&) = delete;
  ~H264Encoder();

  // False for odd or out-of-range sizes, a bad rate or interval, or when FFmpeg lacks libx264.
  bool open(const H264EncoderSettings& settings);
  void close();
  bool isOpen() const { return encoder_.isOpen(); }

  // The parameter sets the stream carries, known as soon as the encoder is open.
  const NalUnit& sequenceParameterSet() const { return sps_; }
  const NalUnit& pictureParameterSet() const { return pps_; }

  // The NAL units of one access unit in decoding order; empty on failure. The picture is in full
  // range and goes out in video range, as cameras send it.
  std::vector<NalUnit> encode(const YuvPicture& picture);

 private:
  bool takeParameterSets();

  FfmpegEncoder encoder_;
  NalUnit sps_;
  NalUnit pps_;
};

}  // namespace vexa::camera
