#pragma once

// A plain UDP end on 127.0.0.1, independent of the socket code under test, for receivers that
// bind a port of their own choosing.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <span>

namespace vexa::test {

// A UDP port that was free a moment ago: bound to 0, read back, released.
inline uint16_t freeUdpPort() {
  const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

// Sends datagrams to 127.0.0.1:port.
class DatagramSender {
 public:
  explicit DatagramSender(uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    to_.sin_family = AF_INET;
    to_.sin_port = htons(port);
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  DatagramSender(const DatagramSender&) = delete;
  DatagramSender& operator=(const DatagramSender&) = delete;
  ~DatagramSender() { ::close(fd_); }

  bool send(std::span<const uint8_t> datagram) {
    return ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to_),
                    sizeof to_) == ssize_t(datagram.size());
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

}  // namespace vexa::test
