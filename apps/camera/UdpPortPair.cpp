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

sockaddr_in toSocketAddress(const Ipv4Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.address);
  address.sin_port = htons(endpoint.port);
  return address;
}

}  // namespace

UdpPortPair::BoundSocket UdpPortPair::bind(uint32_t address, uint16_t port) {
  BoundSocket bound;
  bound.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (bound.fd < 0) return bound;
  sockaddr_in local = toSocketAddress({address, port});
  socklen_t length = sizeof local;
  if (::bind(bound.fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(bound.fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    close(bound);
    return bound;
  }
  bound.port = ntohs(local.sin_port);
  return bound;
}

void UdpPortPair::close(BoundSocket& socket) {
  if (socket.fd >= 0) ::close(socket.fd);
  socket = {};
}

std::unique_ptr<UdpPortPair> UdpPortPair::open(uint32_t localAddress) {
  for (int attempt = 0; attempt < kEvenPairAttempts; ++attempt) {
    BoundSocket rtp = bind(localAddress, 0);
    if (rtp.fd < 0) return nullptr;
    if (rtp.port % 2 == 0 && rtp.port < kHighestPort) {
      BoundSocket rtcp = bind(localAddress, uint16_t(rtp.port + 1));
      if (rtcp.fd >= 0) return std::unique_ptr<UdpPortPair>(new UdpPortPair(rtp, rtcp));
    }
    close(rtp);
  }
  // Ports are scarce or taken in pairs by others: any two will do, as server_port names both.
  BoundSocket rtp = bind(localAddress, 0);
  BoundSocket rtcp = bind(localAddress, 0);
  if (rtp.fd >= 0 && rtcp.fd >= 0) return std::unique_ptr<UdpPortPair>(new UdpPortPair(rtp, rtcp));
  close(rtp);
  close(rtcp);
  return nullptr;
}

UdpPortPair::~UdpPortPair() {
  close(rtp_);
  close(rtcp_);
}

bool UdpPortPair::send(const BoundSocket& from, const Ipv4Endpoint& to,
                       std::span<const uint8_t> head, std::span<const uint8_t> body) {
  sockaddr_in destination = toSocketAddress(to);
  iovec pieces[2] = {{const_cast<uint8_t*>(head.data()), head.size()},
                     {const_cast<uint8_t*>(body.data()), body.size()}};
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_iov = pieces;
  message.msg_iovlen = body.empty() ? 1 : 2;
  if (::sendmsg(from.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) return true;
  DebugTrace("UdpPortPair: a %zu-byte datagram to %s was dropped: %s\n", head.size() + body.size(),
             to.text().c_str(), std::strerror(errno));
  return false;
}

bool UdpPortPair::sendRtp(const Ipv4Endpoint& to, std::span<const uint8_t> head,
                          std::span<const uint8_t> body) {
  return send(rtp_, to, head, body);
}

bool UdpPortPair::sendRtcp(const Ipv4Endpoint& to, std::span<const uint8_t> packet) {
  return send(rtcp_, to, packet, {});
}

std::optional<size_t> UdpPortPair::receiveRtcp(std::span<uint8_t> buffer, Ipv4Endpoint& from) {
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t got = ::recvfrom(rtcp_.fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&sender), &length);
  if (got < 0) return std::nullopt;
  from = {ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
  return size_t(got);
}

}  // namespace vexa::camera
