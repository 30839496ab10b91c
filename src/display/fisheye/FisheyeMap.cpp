#include "display/fisheye/FisheyeMap.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "display/WideLoad.h"
#include "media/PictureFormat.h"

namespace vexa {

bool FisheyeMap::reserve(size_t count) {
  if (count > kMaxEntries) return false;
  if (count <= entries_.size()) return true;
  try {
    entries_.resize(count, kNoPixel);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void FisheyeMap::clear(size_t count) {
  std::fill_n(entries_.begin(), std::min(count, entries_.size()), kNoPixel);
}

void FisheyeMap::clearRect(const Rect& rect, size_t rowLength) {
  if (rect.empty()) return;
  for (int y = rect.y; y < rect.bottom(); ++y) {
    const size_t start = size_t(y) * rowLength + size_t(rect.x);
    if (start + size_t(rect.width) > entries_.size()) return;
    std::fill_n(entries_.begin() + ptrdiff_t(start), rect.width, kNoPixel);
  }
}

void applyFisheyeMap(const int32_t* entries, size_t count, const uint8_t* source,
                     size_t sourceBytes, uint8_t* output) {
  if (count == 0) return;
  // Every pixel but the last is written as a 4-byte word whose top byte the next pixel
  // overwrites; the last one is written as 3 bytes so nothing lands past the output.
  const size_t last = count - 1;
  constexpr uint32_t kBlack = 0;
  // One unsigned comparison sends both negative entries and those too near the end of the
  // source for a 4-byte load to the slow path.
  const bool wideLoads = wideLoadFits(0, sourceBytes);
  const uint32_t wideLimit =
      wideLoads ? uint32_t(std::min<size_t>(sourceBytes - kWideLoadBytes, INT32_MAX)) : 0;
  for (size_t i = 0; i < last; ++i) {
    const int32_t entry = entries[i];
    uint8_t* out = output + i * kBytesPerPixel;
    if (wideLoads && uint32_t(entry) <= wideLimit) {
      const uint32_t pixel = loadWide(source + entry);
      std::memcpy(out, &pixel, sizeof pixel);
    } else if (entry < 0) {
      std::memcpy(out, &kBlack, sizeof kBlack);
    } else {
      std::memcpy(out, source + entry, kBytesPerPixel);
    }
  }
  const int32_t entry = entries[last];
  uint8_t* out = output + last * kBytesPerPixel;
  if (entry >= 0) {
    std::memcpy(out, source + entry, kBytesPerPixel);
  } else {
    std::memset(out, 0, kBytesPerPixel);
  }
}

}  // namespace vexa
