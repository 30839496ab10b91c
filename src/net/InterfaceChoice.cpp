#include "net/InterfaceChoice.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>
#include <optional>

namespace vexa::net {

namespace {

constexpr std::array<std::string_view, 2> kUninformativeLocalAddresses = {"127.0.0.1", "0.0.0.0"};

std::optional<uint32_t> parseIpv4(std::string_view text) {
  in_addr address{};
  if (inet_pton(AF_INET, std::string(text).c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string dotted(uint32_t hostOrder) {
  in_addr address{htonl(hostOrder)};
  std::array<char, INET_ADDRSTRLEN> text{};
  inet_ntop(AF_INET, &address, text.data(), text.size());
  return text.data();
}

uint32_t hostOrderOf(const sockaddr* address) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

}  // namespace

uint32_t chooseInterface(std::span<const InterfaceAddress> interfaces, uint32_t camera) {
  InterfaceAddress best;
  for (const InterfaceAddress& entry : interfaces) {
    const bool sameSubnet = (camera & entry.netmask) == (entry.address & entry.netmask);
    if (sameSubnet && entry.netmask > best.netmask) best = entry;
  }
  return best.address;
}

std::vector<InterfaceAddress> upInterfaces() {
  std::vector<InterfaceAddress> interfaces;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr) continue;
    if (entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0) continue;
    interfaces.push_back({hostOrderOf(entry->ifa_addr), hostOrderOf(entry->ifa_netmask)});
  }
  freeifaddrs(list);
  return interfaces;
}

bool needsInterfaceChoice(std::string_view localAddress) {
  for (const std::string_view address : kUninformativeLocalAddresses)
    if (localAddress == address) return true;
  return false;
}

std::string multicastInterface(std::string_view localAddress, std::string_view camera) {
  if (!needsInterfaceChoice(localAddress)) return std::string(localAddress);
  const std::optional<uint32_t> cameraAddress = parseIpv4(camera);
  if (!cameraAddress) return dotted(0);
  return dotted(chooseInterface(upInterfaces(), *cameraAddress));
}

}  // namespace vexa::net
