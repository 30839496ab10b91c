#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::platform {

// An IPv4 or IPv6 address with a port, as the socket calls take it. An IPv4 address mapped into
// IPv6 (what a dual-stack socket reports for an IPv4 peer) is kept as the IPv4 address, so that
// the same peer compares equal whichever socket saw it.
class Endpoint {
 public:
  Endpoint() = default;
  // A numeric address ("127.0.0.1", "::1", "[::1]") and a port; none for anything else. Never
  // looks a name up.
  static std::optional<Endpoint> parse(std::string_view address, uint16_t port);
  static Endpoint ipv4(uint32_t hostOrderAddress, uint16_t port);
  // What a socket call filled in; invalid for a family other than IPv4 and IPv6.
  static Endpoint fromSocketAddress(const sockaddr* address, socklen_t length);

  bool valid() const { return length_ != 0; }
  // AF_INET or AF_INET6; AF_UNSPEC when invalid.
  int family() const;
  uint16_t port() const;
  Endpoint withPort(uint16_t port) const;
  // "127.0.0.1" or "::1".
  std::string addressText() const;
  // "127.0.0.1:5000" or "[::1]:5000", for traces.
  std::string text() const;
  bool sameAddress(const Endpoint& other) const;
  bool operator==(const Endpoint& other) const {
    return sameAddress(other) && port() == other.port();
  }

  const sockaddr* socketAddress() const { return reinterpret_cast<const sockaddr*>(&storage_); }
  socklen_t socketAddressLength() const { return length_; }
  // The form a socket of the given family sends to: an IPv4 endpoint mapped into IPv6 for an
  // IPv6 socket.
  Endpoint forSocketFamily(int family) const;

 private:
  sockaddr_storage storage_{};
  socklen_t length_ = 0;
};

// The addresses a host (a name, or a numeric address with or without brackets) has, in the
// resolver's order, each with port; empty when it resolves to nothing.
std::vector<Endpoint> resolveHost(const std::string& host, uint16_t port);
// The system's look-up of a name (getaddrinfo), each address with port; empty when it has none.
std::vector<Endpoint> lookUpName(const std::string& name, uint16_t port);

}  // namespace vexa::platform
