#pragma once

#include <cstdint>

#include "media/PictureFormat.h"

namespace vexa {

// The decoder interface of the codec wrappers.
class BaseDecoder {
 public:
  BaseDecoder() { BaseDecoder::Open(); }
  virtual ~BaseDecoder() { BaseDecoder::Close(); }
  BaseDecoder(const BaseDecoder&) = delete;
  BaseDecoder& operator=(const BaseDecoder&) = delete;

  // Decodes one access unit; what the result means is the codec's. The base decodes nothing.
  virtual int Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) {
    return 0;
  }
  virtual bool Open() { return true; }
  virtual bool Close() { return false; }
};

}  // namespace vexa
