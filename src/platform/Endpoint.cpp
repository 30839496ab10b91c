#include "platform/Endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace vexa::platform {

namespace {

constexpr std::string_view kOpenBracket = "[";
constexpr std::string_view kCloseBracket = "]";

std::string_view withoutBrackets(std::string_view address) {
  if (address.starts_with(kOpenBracket) && address.ends_with(kCloseBracket)) {
    return address.substr(1, address.size() - 2);
  }
  return address;
}

const sockaddr_in& asIpv4(const sockaddr_storage& storage) {
  return reinterpret_cast<const sockaddr_in&>(storage);
}

const sockaddr_in6& asIpv6(const sockaddr_storage& storage) {
  return reinterpret_cast<const sockaddr_in6&>(storage);
}

}  // namespace

std::optional<Endpoint> Endpoint::parse(std::string_view address, uint16_t port) {
  const std::string text(withoutBrackets(address));
  sockaddr_in v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    return fromSocketAddress(reinterpret_cast<const sockaddr*>(&v4), sizeof v4);
  }
  sockaddr_in6 v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    return fromSocketAddress(reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
  }
  return std::nullopt;
}

Endpoint Endpoint::ipv4(uint32_t hostOrderAddress, uint16_t port) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(port);
  v4.sin_addr.s_addr = htonl(hostOrderAddress);
  return fromSocketAddress(reinterpret_cast<const sockaddr*>(&v4), sizeof v4);
}

Endpoint Endpoint::fromSocketAddress(const sockaddr* address, socklen_t length) {
  Endpoint endpoint;
  if (address == nullptr) return endpoint;
  if (address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) {
    std::memcpy(&endpoint.storage_, address, sizeof(sockaddr_in));
    endpoint.length_ = sizeof(sockaddr_in);
  } else if (address->sa_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6))) {
    const auto& v6 = *reinterpret_cast<const sockaddr_in6*>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
      uint32_t mapped = 0;
      std::memcpy(&mapped, &v6.sin6_addr.s6_addr[12], sizeof mapped);
      return ipv4(ntohl(mapped), ntohs(v6.sin6_port));
    }
    std::memcpy(&endpoint.storage_, address, sizeof(sockaddr_in6));
    endpoint.length_ = sizeof(sockaddr_in6);
  }
  return endpoint;
}

int Endpoint::family() const {
  return valid() ? storage_.ss_family : AF_UNSPEC;
}

uint16_t Endpoint::port() const {
  switch (family()) {
    case AF_INET:
      return ntohs(asIpv4(storage_).sin_port);
    case AF_INET6:
      return ntohs(asIpv6(storage_).sin6_port);
    default:
      return 0;
  }
}

Endpoint Endpoint::withPort(uint16_t port) const {
  Endpoint copy = *this;
  if (family() == AF_INET) reinterpret_cast<sockaddr_in&>(copy.storage_).sin_port = htons(port);
  if (family() == AF_INET6) reinterpret_cast<sockaddr_in6&>(copy.storage_).sin6_port = htons(port);
  return copy;
}

std::string Endpoint::addressText() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (family() == AF_INET) inet_ntop(AF_INET, &asIpv4(storage_).sin_addr, text, sizeof text);
  if (family() == AF_INET6) inet_ntop(AF_INET6, &asIpv6(storage_).sin6_addr, text, sizeof text);
  return text;
}

std::string Endpoint::text() const {
  const std::string address = addressText();
  const std::string host = family() == AF_INET6 ? "[" + address + "]" : address;
  return host + ":" + std::to_string(port());
}

bool Endpoint::sameAddress(const Endpoint& other) const {
  if (family() != other.family()) return false;
  if (family() == AF_INET) {
    return asIpv4(storage_).sin_addr.s_addr == asIpv4(other.storage_).sin_addr.s_addr;
  }
  if (family() == AF_INET6) {
    return std::memcmp(&asIpv6(storage_).sin6_addr, &asIpv6(other.storage_).sin6_addr,
                       sizeof(in6_addr)) == 0;
  }
  return !other.valid() && !valid();
}

Endpoint Endpoint::forSocketFamily(int family) const {
  if (family != AF_INET6 || this->family() != AF_INET) return *this;
  sockaddr_in6 mapped{};
  mapped.sin6_family = AF_INET6;
  mapped.sin6_port = asIpv4(storage_).sin_port;
  mapped.sin6_addr.s6_addr[10] = 0xFF;
  mapped.sin6_addr.s6_addr[11] = 0xFF;
  std::memcpy(&mapped.sin6_addr.s6_addr[12], &asIpv4(storage_).sin_addr, sizeof(in_addr));
  Endpoint endpoint;
  std::memcpy(&endpoint.storage_, &mapped, sizeof mapped);
  endpoint.length_ = sizeof mapped;
  return endpoint;
}

std::vector<Endpoint> resolveHost(const std::string& host, uint16_t port) {
  if (const std::optional<Endpoint> numeric = Endpoint::parse(host, port)) return {*numeric};
  return lookUpName(host, port);
}

std::vector<Endpoint> lookUpName(const std::string& name, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return {};
  std::vector<Endpoint> endpoints;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    const Endpoint endpoint = Endpoint::fromSocketAddress(entry->ai_addr, entry->ai_addrlen);
    if (endpoint.valid()) endpoints.push_back(endpoint.withPort(port));
  }
  freeaddrinfo(found);
  return endpoints;
}

}  // namespace vexa::platform
