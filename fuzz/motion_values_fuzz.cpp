// Reads arbitrary bytes as the motion-level stream, cut into reads the way the network does; a
// take between reads stands for the window's draw cycle.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "display/MotionValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t readBytes = vexa::fuzz::readSize(data[0]);
  vexa::MotionValues values;
  size_t reads = 0;
  vexa::fuzz::forEachRead({data + 1, size - 1}, readBytes, [&](vexa::fuzz::Bytes read) {
    values.feed({reinterpret_cast<const char*>(read.data()), read.size()});
    if (values.queuedLevels() > vexa::MotionValues::kMaxQueuedLevels) __builtin_trap();
    if (++reads % 3 != 0) return true;
    const vexa::MotionValues::Taken taken = values.take();
    // Thresholds come from 101..200 only; levels from 0..100.
    if (taken.threshold < 1 || taken.threshold > vexa::MotionValues::kMaxLevel) __builtin_trap();
    for (const int8_t level : taken.levels) {
      if (level < 0 || level > vexa::MotionValues::kMaxLevel) __builtin_trap();
    }
    return true;
  });
  return 0;
}
