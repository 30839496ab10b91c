#include "camera/MulticastTransport.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace vexa::camera {

namespace {

constexpr uint32_t kMulticastMask = 0xF0000000;
constexpr uint32_t kMulticastPrefix = 0xE0000000;

sockaddr_in destination(in_addr group, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = group;
  address.sin_port = htons(port);
  return address;
}

}  // namespace

bool isMulticastGroup(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1 &&
         (ntohl(address.s_addr) & kMulticastMask) == kMulticastPrefix;
}

std::unique_ptr<MulticastTransport> MulticastTransport::open(const std::string& group,
                                                             uint16_t rtpPort, int ttl) {
  in_addr address{};
  if (!isMulticastGroup(group) || rtpPort == 0 || rtpPort == UINT16_MAX ||
      inet_pton(AF_INET, group.c_str(), &address) != 1) {
    return nullptr;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  const unsigned char hops = static_cast<unsigned char>(ttl);
  const unsigned char loop = 1;  // receivers on this host hear it
  if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<MulticastTransport>(new MulticastTransport(
      fd, destination(address, rtpPort), destination(address, uint16_t(rtpPort + 1))));
}

MulticastTransport::~MulticastTransport() { ::close(fd_); }

void MulticastTransport::sendRtp(std::span<const uint8_t> header,
                                 std::span<const uint8_t> payload) {
  send(rtp_, header, payload);
}

void MulticastTransport::sendRtcp(std::span<const uint8_t> packet) { send(rtcp_, packet, {}); }

// A datagram that would block is dropped, as the network may drop it.
void MulticastTransport::send(const sockaddr_in& to, std::span<const uint8_t> head,
                              std::span<const uint8_t> body) {
  iovec parts[] = {{const_cast<uint8_t*>(head.data()), head.size()},
                   {const_cast<uint8_t*>(body.data()), body.size()}};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_in*>(&to);
  message.msg_namelen = sizeof to;
  message.msg_iov = parts;
  message.msg_iovlen = body.empty() ? 1 : 2;
  ::sendmsg(fd_, &message, MSG_NOSIGNAL);
}

}  // namespace vexa::camera
