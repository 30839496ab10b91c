#pragma once

// Plain-socket ends on 127.0.0.1, independent of the socket code under test, and a bounded wait
// for what other threads do.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace vexa::test {

// Long enough never to fail on a loaded machine, short enough to end a hung test.
constexpr auto kGenerousWait = std::chrono::seconds(20);

template <typename Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kGenerousWait;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// One blocking TCP connection whose reads give up after kGenerousWait.
class LoopbackConnection {
 public:
  LoopbackConnection() = default;
  // Connects to 127.0.0.1:port; a small receive buffer makes a reader that falls behind.
  explicit LoopbackConnection(uint16_t port, int receiveBufferBytes = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBufferBytes > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  LoopbackConnection(const LoopbackConnection&) = delete;
  LoopbackConnection& operator=(const LoopbackConnection&) = delete;
  ~LoopbackConnection() { close(); }

  void adopt(int fd) {
    close();
    fd_ = fd;
    connected_ = fd >= 0;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool connected() const { return connected_; }

  bool send(std::string_view text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
  }

  // Appends what arrives to received() until done(received()) holds, the peer closes, or the
  // generous wait ends. True when done() held.
  template <typename Done>
  bool receiveUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kGenerousWait;
    char chunk[16384];
    while (!done(received_)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      pollfd waiting{fd_, POLLIN, 0};
      if (::poll(&waiting, 1, 100) <= 0) continue;
      const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
      if (got <= 0) {
        closed_ = true;
        return done(received_);
      }
      received_.append(chunk, size_t(got));
    }
    return true;
  }
  bool receiveUntilClosed() {
    receiveUntil([this](const std::string&) { return closed_; });
    return closed_;
  }
  const std::string& received() const { return received_; }

  // For a scripted camera: the next whole request (through its empty line) received after the
  // ones already taken; empty when none completes within the generous wait.
  std::string nextRequest() {
    receiveUntil([&](const std::string& all) { return all.find(kRequestEnd, taken_) != std::string::npos; });
    const size_t end = received_.find(kRequestEnd, taken_);
    if (end == std::string::npos) return {};
    std::string next = received_.substr(taken_, end + kRequestEnd.size() - taken_);
    taken_ = end + kRequestEnd.size();
    return next;
  }
  // Bytes received up to the end of the last request taken.
  size_t taken() const { return taken_; }

 private:
  static constexpr std::string_view kRequestEnd = "\r\n\r\n";

  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string received_;
  size_t taken_ = 0;
};

// A listener on an ephemeral loopback port; accept() hands the connection to peer.
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
  ~LoopbackServer() { ::close(listener_); }

  uint16_t port() const { return port_; }
  bool accept() { return accept(peer); }
  // The next connection into a connection of the test's own (a client with two of them).
  bool accept(LoopbackConnection& into) {
    pollfd waiting{listener_, POLLIN, 0};
    const int waitMs = int(std::chrono::milliseconds(kGenerousWait).count());
    if (::poll(&waiting, 1, waitMs) <= 0) return false;
    into.adopt(::accept(listener_, nullptr, nullptr));
    return into.connected();
  }

  LoopbackConnection peer;

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
};

}  // namespace vexa::test
