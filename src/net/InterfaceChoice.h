#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::net {

// An IPv4 interface address with its netmask, both in host byte order.
struct InterfaceAddress {
  uint32_t address = 0;
  uint32_t netmask = 0;
};

// The interface a multicast group is joined on: of the entries on the camera's subnet, the one
// with the longest mask (a longer contiguous mask is the greater number in host order); the
// first of equals. 0 (any interface) when none is on that subnet.
uint32_t chooseInterface(std::span<const InterfaceAddress> interfaces, uint32_t camera);

// The IPv4 addresses of the interfaces that are up.
std::vector<InterfaceAddress> upInterfaces();

// Whether the RTSP connection's local address says nothing about the camera's network, so that
// an interface must be chosen instead.
bool needsInterfaceChoice(std::string_view localAddress);

// The dotted interface address for joining the camera's group: localAddress itself unless it
// needs a choice, then the choice among the interfaces that are up ("0.0.0.0" when none fits or
// camera is no dotted IPv4 address).
std::string multicastInterface(std::string_view localAddress, std::string_view camera);

}  // namespace vexa::net
