#pragma once

#include <cstdint>

namespace vexa {

// What the receiving side has counted of one RTP stream, as a receiver report states it.
struct ReceptionFigures {
  uint16_t lastSequence = 0;
  uint16_t wrapCount = 0;
  uint32_t lostPackets = 0;
};

}  // namespace vexa
