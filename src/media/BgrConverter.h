#pragma once

#include <cstdint>

struct AVFrame;
struct SwsContext;

namespace vexa {

// Same-size conversion of decoded pictures to packed 24-bit BGR. The scaler context is kept
// while size, pixel format, range and matrix stay the same, so a stream pays for it once.
class BgrConverter {
 public:
  explicit BgrConverter(int swsFlags) : flags_(swsFlags) {}
  ~BgrConverter();
  BgrConverter(const BgrConverter&) = delete;
  BgrConverter& operator=(const BgrConverter&) = delete;

  // Writes the picture's top row at topRow and each following row rowStride bytes further on;
  // a negative stride writes the picture bottom-up in one pass.
  bool convert(const AVFrame& frame, uint8_t* topRow, int rowStride);
  // The same, reading the samples from planes laid out like the frame's (a filtered copy).
  bool convert(const AVFrame& frame, const uint8_t* const planes[4], const int linesizes[4],
               uint8_t* topRow, int rowStride);

 private:
  struct Key {
    int width = 0;
    int height = 0;
    int format = -1;
    bool fullRange = false;
    int colorspace = 0;
    bool operator==(const Key&) const = default;
  };
  static Key keyOf(const AVFrame& frame);
  bool configure(const Key& key);

  int flags_;
  SwsContext* context_ = nullptr;
  Key key_;
};

}  // namespace vexa
