#include "camera/UdpPortPair.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr uint16_t kHighestPort = 0xFFFF;

}  // namespace

UdpPortPair::BoundSocket UdpPortPair::bind(const Endpoint& local) {
  BoundSocket bound;
  bound.fd = ::socket(local.family(), SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (bound.fd < 0) return bound;
  sockaddr_storage boundAddress{};
  socklen_t length = sizeof boundAddress;
  if (::bind(bound.fd, local.socketAddress(), local.socketAddressLength()) != 0 ||
      ::getsockname(bound.fd, reinterpret_cast<sockaddr*>(&boundAddress), &length) != 0) {
    close(bound);
    return bound;
  }
  bound.port =
      Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&boundAddress), length).port();
  return bound;
}

void UdpPortPair::close(BoundSocket& socket) {
  if (socket.fd >= 0) ::close(socket.fd);
  socket = {};
}

std::unique_ptr<UdpPortPair> UdpPortPair::open(const Endpoint& local) {
  const Endpoint anyPort = local.withPort(0);
  for (int attempt = 0; attempt < kEvenPairAttempts; ++attempt) {
    BoundSocket rtp = bind(anyPort);
    if (rtp.fd < 0) return nullptr;
    if (rtp.port % 2 == 0 && rtp.port < kHighestPort) {
      BoundSocket rtcp = bind(local.withPort(uint16_t(rtp.port + 1)));
      if (rtcp.fd >= 0) return std::unique_ptr<UdpPortPair>(new UdpPortPair(rtp, rtcp));
    }
    close(rtp);
  }
  // Ports are scarce or taken in pairs by others: any two will do, as server_port names both.
  BoundSocket rtp = bind(anyPort);
  BoundSocket rtcp = bind(anyPort);
  if (rtp.fd >= 0 && rtcp.fd >= 0) return std::unique_ptr<UdpPortPair>(new UdpPortPair(rtp, rtcp));
  close(rtp);
  close(rtcp);
  return nullptr;
}

UdpPortPair::~UdpPortPair() {
  close(rtp_);
  close(rtcp_);
}

bool UdpPortPair::send(const BoundSocket& from, const Endpoint& to,
                       std::span<const uint8_t> head, std::span<const uint8_t> body) {
  sockaddr_storage destination{};
  std::memcpy(&destination, to.socketAddress(), to.socketAddressLength());
  iovec pieces[2] = {{const_cast<uint8_t*>(head.data()), head.size()},
                     {const_cast<uint8_t*>(body.data()), body.size()}};
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = to.socketAddressLength();
  message.msg_iov = pieces;
  message.msg_iovlen = body.empty() ? 1 : 2;
  if (::sendmsg(from.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) return true;
  DebugTrace("UdpPortPair: a %zu-byte datagram to %s was dropped: %s\n", head.size() + body.size(),
             to.text().c_str(), std::strerror(errno));
  return false;
}

bool UdpPortPair::sendRtp(const Endpoint& to, std::span<const uint8_t> head,
                          std::span<const uint8_t> body) {
  return send(rtp_, to, head, body);
}

bool UdpPortPair::sendRtcp(const Endpoint& to, std::span<const uint8_t> packet) {
  return send(rtcp_, to, packet, {});
}

std::optional<size_t> UdpPortPair::receiveRtcp(std::span<uint8_t> buffer, Endpoint& from) {
  sockaddr_storage sender{};
  socklen_t length = sizeof sender;
  const ssize_t got = ::recvfrom(rtcp_.fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&sender), &length);
  if (got < 0) return std::nullopt;
  from = Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&sender), length);
  return size_t(got);
}

}  // namespace vexa::camera
