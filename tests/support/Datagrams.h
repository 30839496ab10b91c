#pragma once

// Plain UDP ends on loopback, independent of the socket code under test.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "support/Loopback.h"

namespace vexa::test {

inline uint32_t big32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
         bytes[at + 3];
}

struct ReceivedDatagram {
  std::vector<uint8_t> bytes;
  uint16_t fromPort = 0;
};

// A UDP socket bound to address:port (0: the system's choice) that sends to 127.0.0.1.
class UdpEnd {
 public:
  explicit UdpEnd(const char* address = "127.0.0.1", uint16_t port = 0)
      : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &local.sin_addr);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
  }
  UdpEnd(const UdpEnd&) = delete;
  UdpEnd& operator=(const UdpEnd&) = delete;
  ~UdpEnd() { ::close(fd_); }

  bool bound() const { return bound_; }
  uint16_t port() const { return port_; }

  bool sendTo(uint16_t port, std::span<const uint8_t> bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == ssize_t(bytes.size());
  }
  bool sendTo(uint16_t port, std::string_view text) {
    return sendTo(port, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  }

  // The next datagram, waiting for it at most `wait`.
  std::optional<ReceivedDatagram> receive(std::chrono::milliseconds wait = kGenerousWait) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, int(wait.count())) <= 0) return std::nullopt;
    ReceivedDatagram d{std::vector<uint8_t>(65536)};
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got = ::recvfrom(fd_, d.bytes.data(), d.bytes.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) return std::nullopt;
    d.bytes.resize(size_t(got));
    d.fromPort = ntohs(from.sin_port);
    return d;
  }

 private:
  int fd_;
  bool bound_ = false;
  uint16_t port_ = 0;
};

// A UDP port that was free a moment ago: bound, read back, released.
inline uint16_t freeUdpPort() {
  return UdpEnd().port();
}

// Sends datagrams to 127.0.0.1:port.
class DatagramSender {
 public:
  explicit DatagramSender(uint16_t port) : port_(port) {}
  bool send(std::span<const uint8_t> datagram) { return end_.sendTo(port_, datagram); }

 private:
  UdpEnd end_;
  uint16_t port_;
};

}  // namespace vexa::test
