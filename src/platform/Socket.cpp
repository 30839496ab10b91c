#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "common/DebugTrace.h"

namespace vexa::platform {

namespace {

bool lookUpIpv4(const std::string& host, in_addr& out) {
  if (inet_pton(AF_INET, host.c_str(), &out) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  out = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return true;
}

int changeMembership(int fd, int option, const std::string& group,
                     const std::string& interfaceAddress) {
  ip_mreq membership{};
  if (inet_pton(AF_INET, group.c_str(), &membership.imr_multiaddr) != 1) return EINVAL;
  membership.imr_interface.s_addr = htonl(INADDR_ANY);
  if (!interfaceAddress.empty() &&
      inet_pton(AF_INET, interfaceAddress.c_str(), &membership.imr_interface) != 1) {
    return EINVAL;
  }
  return setsockopt(fd, IPPROTO_IP, option, &membership, sizeof membership) == 0 ? 0 : errno;
}

}  // namespace

bool isMulticastAddress(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1 && IN_MULTICAST(ntohl(address.s_addr));
}

std::string resolveIpv4(const std::string& host) {
  in_addr address{};
  if (!lookUpIpv4(host, address)) return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

Socket::~Socket() { close(); }

int Socket::create(Type type, int protocol, int family) {
  close();
  fd_ = ::socket(family, (type == Type::Stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC,
                 protocol);
  if (fd_ < 0) return errno;
  type_ = type;
  family_ = family;
  eventMask_ = 0;
  connecting_ = false;
  closeReported_ = false;
  writeArmed_ = false;
  return 0;
}

int Socket::connect(const std::string& host, uint16_t port) {
  const std::vector<Endpoint> addresses = resolveHost(host, port);
  if (addresses.empty()) {
    DebugTrace("connect: cannot resolve '%s'", host.c_str());
    return EHOSTUNREACH;
  }
  return connect(addresses.front());
}

int Socket::connect(const Endpoint& to) {
  if (::connect(fd_, to.socketAddress(), to.socketAddressLength()) == 0) {
    // Completed at once (loopback): report it as the event wait would.
    connecting_ = true;
    return 0;
  }
  if (errno == EINPROGRESS || errno == EWOULDBLOCK) {
    connecting_ = true;
    return kWouldBlock;
  }
  return errno;
}

int Socket::finishConnect(int timeoutMs) {
  pollfd p{fd_, POLLOUT, 0};
  const int ready = ::poll(&p, 1, timeoutMs);
  if (ready == 0) return kWouldBlock;
  if (ready < 0) return errno == EINTR ? kWouldBlock : errno;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

int Socket::bindAny(uint16_t port) {
  if (family_ == AF_INET6) {
    // Dual stack: IPv4 peers arrive as mapped addresses on the same port.
    const int v6Only = 0;
    if (setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) != 0) return errno;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_any;
    return ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  return ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
}

int Socket::setReuseAddress(bool on) {
  const int value = on ? 1 : 0;
  return setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) == 0 ? 0 : errno;
}

int Socket::setReceiveBufferSize(int bytes) {
  return setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0 ? 0 : errno;
}

int Socket::joinMulticastGroup(const std::string& group, const std::string& interfaceAddress) {
  return changeMembership(fd_, IP_ADD_MEMBERSHIP, group, interfaceAddress);
}

int Socket::leaveMulticastGroup(const std::string& group, const std::string& interfaceAddress) {
  return changeMembership(fd_, IP_DROP_MEMBERSHIP, group, interfaceAddress);
}

int Socket::shutdown(int how) {
  if (fd_ < 0) return 0;
  return ::shutdown(fd_, how) == 0 ? 0 : errno;
}

int Socket::close() {
  if (fd_ < 0) return 0;
  const int result = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  return result;
}

ssize_t Socket::send(const void* data, size_t length, int flags) {
  for (;;) {
    const ssize_t sent = ::send(fd_, data, length, flags | MSG_NOSIGNAL);
    if (sent >= 0) return sent;
    if (errno == EINTR) continue;
    // Like WinSock: the next write event comes when the send buffer has room again.
    if (errno == EAGAIN || errno == EWOULDBLOCK) writeArmed_ = true;
    return -1;
  }
}

bool Socket::waitWritable(int timeoutMs) {
  pollfd p{fd_, POLLOUT, 0};
  return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLOUT);
}

ssize_t Socket::receive(void* buffer, size_t length, int flags) {
  return ::recv(fd_, buffer, length, flags);
}

ssize_t Socket::receiveFrom(void* buffer, size_t length, int flags) {
  sockaddr_storage from{};
  socklen_t fromLength = sizeof from;
  const ssize_t received =
      ::recvfrom(fd_, buffer, length, flags, reinterpret_cast<sockaddr*>(&from), &fromLength);
  lastSender_.reset();
  if (received >= 0) {
    const Endpoint sender = Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&from), fromLength);
    if (sender.valid()) lastSender_ = sender;
  }
  return received;
}

ssize_t Socket::sendTo(const void* data, size_t length, const Endpoint& to, int flags) {
  const Endpoint destination = to.forSocketFamily(family_);
  for (;;) {
    const ssize_t sent = ::sendto(fd_, data, length, flags | MSG_NOSIGNAL,
                                  destination.socketAddress(), destination.socketAddressLength());
    if (sent >= 0 || errno != EINTR) return sent;
  }
}

uint16_t Socket::localPort() const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&address), length).port();
}

namespace {

using AddressQuery = int (*)(int, sockaddr*, socklen_t*);

std::string addressTextOf(int fd, AddressQuery query) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (fd < 0 || query(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
  return Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&address), length).addressText();
}

}  // namespace

std::string Socket::localAddressText() const { return addressTextOf(fd_, ::getsockname); }

std::string Socket::peerAddressText() const { return addressTextOf(fd_, ::getpeername); }

int Socket::selectEvents(uint32_t mask) {
  const int fileFlags = fcntl(fd_, F_GETFL, 0);
  if (fileFlags < 0 || fcntl(fd_, F_SETFL, fileFlags | O_NONBLOCK) < 0) return errno;
  eventMask_ = mask;
  return 0;
}

uint32_t Socket::waitEvents(int timeoutMs) {
  pollfd p{fd_, 0, 0};
  if (connecting_) {
    p.events = POLLOUT;
  } else {
    if (!closeReported_) p.events |= POLLIN;
    if (writeArmed_) p.events |= POLLOUT;
  }
  if (fd_ < 0 || p.events == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return 0;
  }
  if (::poll(&p, 1, timeoutMs) <= 0) return 0;

  uint32_t events = 0;
  if (connecting_) {
    connecting_ = false;
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
    events |= kFdConnect;
    if (error == 0) {
      events |= kFdWrite;
    } else {
      DebugTrace("connect failed: errno %d", error);
      closeReported_ = true;  // a failed connect reports nothing more
    }
    return events & eventMask_;
  }
  if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
    if (type_ == Type::Datagram) {
      events |= kFdRead;
    } else {
      char probe;
      const ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n > 0) {
        events |= kFdRead;
      } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        events |= kFdClose;
        closeReported_ = true;
      }
    }
  }
  if ((p.revents & POLLOUT) && writeArmed_.exchange(false)) events |= kFdWrite;
  return events & eventMask_;
}

}  // namespace vexa::platform
