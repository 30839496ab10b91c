#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexa::camera {

struct InterleavedChannels {
  uint8_t rtp = 0;
  uint8_t rtcp = 1;
};

struct TransportChoice {
  bool offered = false;                         // a transport with RTP/AVP/TCP was offered
  bool valid = false;                           // ... and its interleaved parameter, if any, reads
  std::optional<InterleavedChannels> channels;  // as the client asked; nullopt: server's choice
};

// Reads a SETUP's Transport header (RFC 2326 section 12.39): the first of the comma-separated
// transports that is RTP/AVP/TCP, and its "interleaved=N-M" or "interleaved=N" (then M = N + 1).
TransportChoice chooseInterleavedTransport(std::string_view header);

}  // namespace vexa::camera
