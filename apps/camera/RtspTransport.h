#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexa::camera {

struct InterleavedChannels {
  uint8_t rtp = 0;
  uint8_t rtcp = 1;
};

// The client's UDP ports for one stream's RTP and RTCP.
struct ClientPorts {
  uint16_t rtp = 0;
  uint16_t rtcp = 0;
};

enum class TransportKind { Interleaved, Datagram, Multicast };

struct TransportChoice {
  bool offered = false;  // a transport this camera serves was offered
  bool valid = false;    // ... and its interleaved parameter, if any, reads
  TransportKind kind = TransportKind::Interleaved;
  std::optional<InterleavedChannels> channels;  // as the client asked; nullopt: server's choice
  ClientPorts clientPorts;                      // Datagram only
};

// Reads a SETUP's Transport header (RFC 2326 section 12.39) and takes the first of its
// comma-separated transports that the camera serves: RTP/AVP/TCP with "interleaved=N-M" or
// "interleaved=N" (then M = N + 1) or none; or, when datagrams is set, RTP/AVP or RTP/AVP/UDP,
// unicast, with "client_port=A-B" or "client_port=A" (then B = A + 1). A UDP transport without
// usable client ports is passed over as not served; so is one for multicast unless multicast is
// set (the server then chooses the group and ports).
TransportChoice chooseTransport(std::string_view header, bool datagrams, bool multicast = false);

}  // namespace vexa::camera
