#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::rtsp {

// Where a server sends a multicast stream, from its SETUP answer's Transport header (RFC 2326
// section 12.39), e.g. "RTP/AVP;multicast;destination=239.255.12.1;port=5000-5001;ttl=1".
struct MulticastTransport {
  std::string group;  // dotted IPv4 group address
  uint16_t rtpPort = 0;
  uint16_t rtcpPort = 0;       // the RTP port + 1 when the answer names one port
  std::optional<uint8_t> ttl;  // none when the answer does not say
};

// Whether text is a dotted IPv4 multicast group (224.0.0.0/4).
bool isMulticastGroup(const std::string& text);

// The first usable multicast RTP/AVP transport of value (transports are comma separated); none
// when no transport is multicast, or each lacks a group or ports or names them out of range.
std::optional<MulticastTransport> readMulticastTransport(std::string_view value);

}  // namespace vexa::rtsp
