#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "camera/ConnectionEnds.h"

namespace vexa::camera {

// The address a server binds for the text a user gave; nullopt when it is not one.
std::optional<Endpoint> bindableAddress(std::string_view address, uint16_t port);

// A listening TCP socket on an IPv4 or IPv6 address.
class TcpListener {
 public:
  TcpListener() = default;
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;
  ~TcpListener() { close(); }

  // Binds to a numeric IPv4 or IPv6 address (brackets allowed; "localhost" is 127.0.0.1) and
  // port; port 0 takes an ephemeral port. 0 or an errno value (EINVAL for an unusable address).
  int listen(const std::string& address, uint16_t port);
  // Waits at most timeoutMs for a connection: its descriptor, non-blocking with Nagle off, or -1.
  int accept(int timeoutMs);
  void close();

  bool isOpen() const { return fd_ >= 0; }
  // The port actually bound.
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace vexa::camera
