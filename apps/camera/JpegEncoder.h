#pragma once

#include <cstdint>
#include <vector>

#include "camera/FfmpegEncoder.h"
#include "camera/Picture.h"

namespace vexa::camera {

// Baseline JPEG pictures from full-range YUV 4:2:0, by FFmpeg's MJPEG encoder.
class JpegEncoder {
 public:
  // Per-picture tables make smaller pictures; RTP/JPEG (RFC 2435) has no room for Huffman tables,
  // so pictures sent that way must use the typical tables of ITU-T T.81 Annex K.3.
  enum class HuffmanTables { PerPicture, Standard };

  static constexpr int kMinQuality = 1;
  static constexpr int kMaxQuality = 100;

  JpegEncoder() = default;
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;
  ~JpegEncoder();

  // quality 1 (smallest) .. 100 (best). False when the size or quality is out of range or the
  // encoder cannot be opened.
  bool open(int width, int height, int quality, HuffmanTables tables = HuffmanTables::PerPicture);
  void close();
  bool isOpen() const { return encoder_.isOpen(); }

  // The JPEG bytes (FF D8 .. FF D9); empty when the picture does not match the opened size or the
  // encoder fails.
  std::vector<uint8_t> encode(const YuvPicture& picture);

  // The encoder's quantiser scale (1 best .. 31 worst) for a quality; geometric, so that the
  // useful high-quality end gets most of the range.
  static int qscaleForQuality(int quality);

 private:
  FfmpegEncoder encoder_;
  int qscale_ = 0;
};

}  // namespace vexa::camera
