#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/Canvas.h"

namespace vexa {

// A lookup table from output pixels to source pixels: one signed 32-bit byte offset into the
// source picture per output pixel, -1 for none (drawn black). Grown only when a larger output
// is needed, so a window at its usual size never allocates again.
class FisheyeMap {
 public:
  static constexpr size_t kMaxEntries = 25'000'000;
  static constexpr int32_t kNoPixel = -1;

  // Makes room for count entries; false when count is above the limit (or memory runs out).
  bool reserve(size_t count);
  // Sets the first count entries to kNoPixel.
  void clear(size_t count);
  // Sets the entries of a rectangle of a map whose rows are rowLength entries long to kNoPixel.
  void clearRect(const Rect& rect, size_t rowLength);

  int32_t* data() { return entries_.data(); }
  const int32_t* data() const { return entries_.data(); }
  size_t capacity() const { return entries_.size(); }

 private:
  std::vector<int32_t> entries_;
};

// Writes count BGR pixels to output, pixel i taken from source + entries[i] (black for a
// negative entry). source holds sourceBytes bytes; every non-negative entry is below it.
void applyFisheyeMap(const int32_t* entries, size_t count, const uint8_t* source,
                     size_t sourceBytes, uint8_t* output);

}  // namespace vexa
