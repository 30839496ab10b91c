#pragma once

#include <cstdint>

#include "media/BgrConverter.h"
#include "media/FfmpegDecoding.h"
#include "media/PictureFormat.h"


namespace vexa {

// Single JPEG pictures to bottom-up BGR, for the display of JPEG streams.
class MjpegDecoder {
 public:
  // JPEG sizes the display hands to Decode.
  static constexpr int kMinJpegBytes = 1001;
  static constexpr int kMaxJpegBytes = 599999;

  MjpegDecoder();
  MjpegDecoder(const MjpegDecoder&) = delete;
  MjpegDecoder& operator=(const MjpegDecoder&) = delete;
  ~MjpegDecoder();

  // Finds the JPEG codec and opens a decoder context; false when either is missing.
  bool Open();
  // Drops the decoder context; true when there was one.
  bool Close();
  // Close, then a fresh decoder context.
  bool Reopen();
  // Decodes one JPEG into image (kDisplayPictureBytes) as bottom-up BGR and fills info.
  // 0 on success, -1 on failure (nothing usable written).
  int Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info);

  bool isOpen() const { return decoder_.isOpen(); }

 private:
  ffmpeg::Decoder decoder_;
  BgrConverter conversion_;
};

}  // namespace vexa
