#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "common/ByteBuffer.h"

namespace vexa {

// Cuts RTP and RTCP out of an RTSP connection (RFC 2326 section 10.12): "$", a channel byte, a
// 16-bit length, then that many bytes. Works in place in the receive buffer and erases what it
// consumed; garbage is skipped up to the next "$".
class InterleavedSplitter {
 public:
  static constexpr size_t kFrameHeaderSize = 4;
  static constexpr uint8_t kFrameMarker = '$';
  // Channels 0 and 1 carry video RTP and RTCP, 2 and 3 audio; any other is taken as garbage.
  static constexpr uint8_t kHighestChannel = 3;

  using FrameSink = std::function<void(uint8_t channel, std::span<const uint8_t> body)>;

  // Hands every complete frame in buffer to onFrame, in order. Returns the bytes skipped as
  // garbage.
  static size_t split(ByteBuffer& buffer, const FrameSink& onFrame);
};

}  // namespace vexa
