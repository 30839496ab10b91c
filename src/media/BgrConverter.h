#pragma once

#include <cstdint>
#include <vector>

struct AVFrame;
struct SwsContext;

namespace vexa {

// How converted pixels lie in memory: 3 bytes each, or 4 with the last unused (a window's).
enum class BgrLayout { kPacked24, kPadded32 };

// Same-size conversion of decoded pictures to BGR. The scaler context is kept while size, pixel
// format, range and matrix stay the same, so a stream pays for it once.
//
// The scaler's vector conversion works in runs of pixels: on a row whose width is no multiple of
// the run it writes past the row's end (over the next row, or the buffer's end) where the stride
// leaves room, and leaves the last pixels unconverted where it does not. So the leading whole
// runs are converted in place and the few remaining columns apart, through rows with room to
// spare.
class BgrConverter {
 public:
  explicit BgrConverter(int swsFlags, BgrLayout layout = BgrLayout::kPacked24)
      : flags_(swsFlags), layout_(layout) {}
  ~BgrConverter();
  BgrConverter(const BgrConverter&) = delete;
  BgrConverter& operator=(const BgrConverter&) = delete;

  // Whether the picture's samples span 0-255 (JPEG's and full-range H.264's) rather than 16-235.
  static bool isFullRange(const AVFrame& frame);

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
  // One scaler context and what it was made for.
  struct Part {
    SwsContext* context = nullptr;
    Key key;
  };
  static Key keyOf(const AVFrame& frame);
  bool configure(Part& part, const Key& key);
  bool convertPart(Part& part, const Key& key, const uint8_t* const planes[4],
                   const int linesizes[4], uint8_t* topRow, int rowStride);
  bool convertTail(const Key& key, int firstColumn, const uint8_t* const planes[4],
                   const int linesizes[4], uint8_t* topRow, int rowStride);
  int bytesPerPixel() const { return layout_ == BgrLayout::kPadded32 ? 4 : 3; }

  int flags_;
  BgrLayout layout_;
  Part whole_;  // the leading columns, in whole runs
  Part tail_;   // the rest, into tailRows_
  std::vector<uint8_t> tailRows_;
};

}  // namespace vexa
