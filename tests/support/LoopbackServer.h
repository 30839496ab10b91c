#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace vexa::testing {

// A blocking loopback TCP listener on an ephemeral port, for socket tests.
class LoopbackServer {
 public:
  LoopbackServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() {
    closeClient();
    ::close(listener_);
  }

  uint16_t port() const { return port_; }

  // Waits up to timeoutMs for a connection.
  bool accept(int timeoutMs = 5000) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    client_ = ::accept(listener_, nullptr, nullptr);
    return client_ >= 0;
  }

  bool send(const std::string& bytes) {
    return ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }

  // Reads until text contains terminator or timeoutMs passes without data.
  std::string receiveUntil(const std::string& terminator, int timeoutMs = 5000) {
    std::string text;
    char chunk[1024];
    while (text.find(terminator) == std::string::npos) {
      pollfd p{client_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) break;
      const ssize_t n = ::recv(client_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      text.append(chunk, size_t(n));
    }
    return text;
  }

  void closeClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
  }

 private:
  int listener_ = -1;
  int client_ = -1;
  uint16_t port_ = 0;
};

}  // namespace vexa::testing
