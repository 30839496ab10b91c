#pragma once

#include <cstdint>
#include <string>

namespace vexa::camera {

// A listening IPv4 TCP socket.
class TcpListener {
 public:
  TcpListener() = default;
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;
  ~TcpListener() { close(); }

  // Binds to a dotted IPv4 address (or "localhost") and port; port 0 takes an ephemeral port. 0 or
  // an errno value (EINVAL for an unusable address).
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
