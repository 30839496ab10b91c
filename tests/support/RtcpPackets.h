#pragma once

// RTCP packets as a camera sends them (RFC 3550 sections 6.4.1 and 6.4.2).

#include <cstdint>
#include <vector>

#include "support/RtpPackets.h"

namespace vexa::test {

// A sender report without report blocks, 28 bytes; ntpMiddle: the middle 32 bits of its NTP
// timestamp, which the answer's LSR repeats.
inline std::vector<uint8_t> senderReport(uint32_t ssrc, uint32_t ntpMiddle, uint32_t rtpTimestamp) {
  std::vector<uint8_t> p(28);
  p[0] = 0x80;  // V=2, no blocks
  p[1] = 200;
  p[3] = 6;  // length in words - 1
  for (int i = 0; i < 4; ++i) {
    p[4 + i] = uint8_t(ssrc >> (24 - 8 * i));
    p[10 + i] = uint8_t(ntpMiddle >> (24 - 8 * i));
    p[16 + i] = uint8_t(rtpTimestamp >> (24 - 8 * i));
  }
  return p;
}

// A receiver report with one empty block, as a camera that also receives might send.
inline const std::vector<uint8_t> kReceiverReport =
    rtp::test::concat({rtp::test::hexBytes("81C90007 09090909"), std::vector<uint8_t>(24, 0)});

}  // namespace vexa::test
