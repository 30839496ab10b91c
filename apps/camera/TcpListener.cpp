#include "camera/TcpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vexa::camera {
namespace {

constexpr int kBacklog = 16;

// Dotted addresses only (and "localhost"): a simulated camera has no business asking a resolver.
bool toIpv4(const std::string& address, in_addr& out) {
  const std::string dotted = address == "localhost" ? "127.0.0.1" : address;
  return inet_pton(AF_INET, dotted.c_str(), &out) == 1;
}

}  // namespace

int TcpListener::listen(const std::string& address, uint16_t port) {
  close();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (!toIpv4(address, local.sin_addr)) return EINVAL;

  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return errno;
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(fd_, kBacklog) != 0) {
    const int error = errno;
    close();
    return error;
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = errno;
    close();
    return error;
  }
  port_ = ntohs(bound.sin_port);
  return 0;
}

int TcpListener::accept(int timeoutMs) {
  if (fd_ < 0) return -1;
  pollfd waiting{fd_, POLLIN, 0};
  if (::poll(&waiting, 1, timeoutMs) <= 0) return -1;
  const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (client < 0) return -1;
  // Parts are small writes that must leave at once.
  const int on = 1;
  ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return client;
}

void TcpListener::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  port_ = 0;
}

}  // namespace vexa::camera
