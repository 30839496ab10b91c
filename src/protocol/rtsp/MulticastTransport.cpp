#include "protocol/rtsp/MulticastTransport.h"

#include <arpa/inet.h>

#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa::rtsp {

namespace {

constexpr std::string_view kRtpProfile = "RTP/AVP";
// RTP/AVP alone means UDP; the TCP lower transport is interleaved, never multicast.
constexpr std::string_view kUdpProfile = "RTP/AVP/UDP";
constexpr std::string_view kMulticast = "multicast";
constexpr std::string_view kDestination = "destination";
constexpr std::string_view kPort = "port";
constexpr std::string_view kTtl = "ttl";
constexpr uint64_t kMaxPort = 65535;
constexpr uint64_t kMaxTtl = 255;
// Class D, 224.0.0.0/4 (RFC 5771).
constexpr uint32_t kMulticastMask = 0xF0000000;
constexpr uint32_t kMulticastPrefix = 0xE0000000;

std::optional<uint16_t> readPort(std::string_view text) {
  const auto port = parseDecimal(text, kMaxPort);
  if (!port || *port == 0) return std::nullopt;
  return uint16_t(*port);
}

// "5000-5001" or "5000" (RTCP on the next port).
bool readPorts(std::string_view text, MulticastTransport& transport) {
  const auto rtp = readPort(takeUntil(text, '-'));
  if (!rtp) return false;
  const auto rtcp = text.empty() ? readPort(std::to_string(uint32_t(*rtp) + 1)) : readPort(text);
  if (!rtcp) return false;
  transport.rtpPort = *rtp;
  transport.rtcpPort = *rtcp;
  return true;
}

std::optional<MulticastTransport> readOneTransport(std::string_view text) {
  const std::string_view profile = trimBlanks(takeUntil(text, ';'));
  if (!equalsIgnoringCase(profile, kRtpProfile) && !equalsIgnoringCase(profile, kUdpProfile))
    return std::nullopt;
  MulticastTransport transport;
  bool multicast = false;
  bool ports = false;
  while (!text.empty()) {
    std::string_view value = trimBlanks(takeUntil(text, ';'));
    const std::string_view name = trimBlanks(takeUntil(value, '='));
    value = trimBlanks(value);
    if (equalsIgnoringCase(name, kMulticast)) multicast = true;
    if (equalsIgnoringCase(name, kDestination)) transport.group = value;
    if (equalsIgnoringCase(name, kPort) && !readPorts(value, transport)) return std::nullopt;
    if (equalsIgnoringCase(name, kPort)) ports = true;
    if (equalsIgnoringCase(name, kTtl)) {
      const auto ttl = parseDecimal(value, kMaxTtl);
      if (!ttl) return std::nullopt;
      transport.ttl = uint8_t(*ttl);
    }
  }
  if (!multicast) return std::nullopt;
  if (!ports || !isMulticastGroup(transport.group)) {
    DebugTrace("multicast transport without a usable group or ports refused\n");
    return std::nullopt;
  }
  return transport;
}

}  // namespace

bool isMulticastGroup(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
  return (ntohl(address.s_addr) & kMulticastMask) == kMulticastPrefix;
}

std::optional<MulticastTransport> readMulticastTransport(std::string_view value) {
  while (!value.empty()) {
    if (auto transport = readOneTransport(takeUntil(value, ','))) return transport;
  }
  return std::nullopt;
}

}  // namespace vexa::rtsp
