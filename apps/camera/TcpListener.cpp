#include "camera/TcpListener.h"

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
constexpr std::string_view kLocalhost = "localhost";
constexpr std::string_view kLoopback = "127.0.0.1";

}  // namespace

// Numeric addresses only (and "localhost"): a simulated camera has no business asking a resolver.
std::optional<Endpoint> bindableAddress(std::string_view address, uint16_t port) {
  return Endpoint::parse(address == kLocalhost ? kLoopback : address, port);
}

int TcpListener::listen(const std::string& address, uint16_t port) {
  close();
  const auto local = bindableAddress(address, port);
  if (!local) return EINVAL;

  fd_ = ::socket(local->family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return errno;
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd_, local->socketAddress(), local->socketAddressLength()) != 0 ||
      ::listen(fd_, kBacklog) != 0) {
    const int error = errno;
    close();
    return error;
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = errno;
    close();
    return error;
  }
  port_ = Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&bound), length).port();
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
