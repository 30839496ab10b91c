#pragma once

#include <cstdint>
#include <string>

namespace vexa::camera {

// An IPv4 address and port in host byte order.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;

  bool operator==(const Ipv4Endpoint&) const = default;
  std::string text() const {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
           std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF) + ":" +
           std::to_string(port);
  }
};

// Both ends of an RTSP connection: media over UDP leaves from the local address and goes to
// the peer's.
struct ConnectionEnds {
  Ipv4Endpoint local;
  Ipv4Endpoint peer;
};

}  // namespace vexa::camera
