#pragma once

#include <cstdint>
#include <span>

struct AVFrame;

namespace vexa {

// JPEG pictures to their own planar YUV (or grey) samples by TurboJPEG: no colour conversion and
// no chroma upsampling, so the display can paint from the planes as they are. Not thread-safe:
// the TurboJPEG handle carries each picture's state, so use one decoder per thread.
class TurboJpegDecoder {
 public:
  // maxPixels: pictures larger than this are refused before anything is allocated for them.
  explicit TurboJpegDecoder(int64_t maxPixels);
  ~TurboJpegDecoder();
  TurboJpegDecoder(const TurboJpegDecoder&) = delete;
  TurboJpegDecoder& operator=(const TurboJpegDecoder&) = delete;

  // Decodes one JPEG into frame as full-range YUVJ420P/422P/444P/440P/411P or GRAY8, into the
  // frame's own buffer when it is writable and of the same size and format.
  // False with the frame untouched for an empty or larger than maxPixels picture, or one that is
  // neither YCbCr nor grey (CMYK, YCCK and RGB JPEGs are left to a fallback decoder).
  // False after a fatal decoding error, with the frame still valid but its samples undefined.
  // A damaged or truncated picture that decodes with warnings counts as decoded.
  bool decode(std::span<const uint8_t> jpeg, AVFrame* frame);

 private:
  void renewHandle();

  void* handle_;  // the tjhandle; kept as void* so that users need no TurboJPEG header
  const int64_t maxPixels_;
};

}  // namespace vexa
