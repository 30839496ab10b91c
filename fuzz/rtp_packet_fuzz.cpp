// Feeds arbitrary bytes to the RTP header parser, as a datagram or an interleaved frame would.
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/rtp/RtpPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const auto packet = vexa::rtp::parseRtpPacket(bytes);
  if (!packet) return 0;
  // The payload lies inside the packet, after the fixed header.
  const uint8_t* begin = packet->payload.data();
  const uint8_t* end = begin + packet->payload.size();
  if (size < vexa::rtp::kRtpHeaderSize || begin < data + vexa::rtp::kRtpHeaderSize ||
      end > data + size || packet->payloadType > 0x7F) {
    __builtin_trap();
  }
  return 0;
}
