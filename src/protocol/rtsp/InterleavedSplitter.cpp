#include "protocol/rtsp/InterleavedSplitter.h"

#include <algorithm>

#include "common/DebugTrace.h"

namespace vexa {

size_t InterleavedSplitter::split(ByteBuffer& buffer, const FrameSink& onFrame) {
  size_t skipped = 0;
  while (buffer.size() >= int32_t(kFrameHeaderSize)) {
    const uint8_t* bytes = buffer.data();
    if (bytes[0] != kFrameMarker || bytes[1] > kHighestChannel) {
      // Resynchronise on the next "$" after the first byte; none: drop everything.
      const uint8_t* end = bytes + buffer.size();
      const uint8_t* next = std::find(bytes + 1, end, kFrameMarker);
      const auto dropped = int32_t(next - bytes);
      skipped += size_t(dropped);
      buffer.eraseFront(dropped);
      continue;
    }
    const size_t length = (size_t(bytes[2]) << 8) | bytes[3];
    if (size_t(buffer.size()) < kFrameHeaderSize + length) break;
    onFrame(bytes[1], {bytes + kFrameHeaderSize, length});
    buffer.eraseFront(int32_t(kFrameHeaderSize + length));
  }
  if (skipped > 0) DebugTrace("interleaved: %zu bytes of garbage skipped", skipped);
  return skipped;
}

}  // namespace vexa
