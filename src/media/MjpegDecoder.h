#pragma once

#include <cstdint>
#include <span>

#include "media/FfmpegDecoding.h"
#include "media/PictureExchange.h"
#include "media/PictureFormat.h"
#include "media/TurboJpegDecoder.h"


namespace vexa {

// Single JPEG pictures for the display of JPEG streams: kept as decoded planes, whose bottom-up
// BGR is made only for those who ask for it. One thread decodes; leases may go anywhere.
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
  // Decodes one JPEG and lends its picture; empty on failure (then nothing changed).
  PictureLease decode(std::span<const uint8_t> jpeg);
  // The same, copied into image (kDisplayPictureBytes) as bottom-up BGR, with info filled.
  // 0 on success, -1 on failure (nothing usable written).
  int Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info);

  bool isOpen() const { return decoder_.isOpen(); }

 private:
  bool decodeInto(std::span<const uint8_t> jpeg, AVFrame* frame);

  ffmpeg::Decoder decoder_;
  TurboJpegDecoder turbo_;
  PictureExchange pictures_;
};

}  // namespace vexa
