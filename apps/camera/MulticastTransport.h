#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "camera/PacketTransport.h"

namespace vexa::camera {

// Whether text is a dotted IPv4 multicast group (224.0.0.0/4).
bool isMulticastGroup(const std::string& text);

// RTP to a multicast group's port and RTCP to the next one, from one unbound socket. The TTL of 0
// keeps every datagram on this host: the simulated camera never floods a network.
class MulticastTransport final : public PacketTransport {
 public:
  static constexpr int kHostOnlyTtl = 0;

  // nullptr when group is no multicast group or no socket can be made.
  static std::unique_ptr<MulticastTransport> open(const std::string& group, uint16_t rtpPort,
                                                  int ttl = kHostOnlyTtl);
  MulticastTransport(const MulticastTransport&) = delete;
  MulticastTransport& operator=(const MulticastTransport&) = delete;
  ~MulticastTransport() override;

  void sendRtp(std::span<const uint8_t> header, std::span<const uint8_t> payload) override;
  void sendRtcp(std::span<const uint8_t> packet) override;

 private:
  MulticastTransport(int fd, sockaddr_in rtp, sockaddr_in rtcp) : fd_(fd), rtp_(rtp), rtcp_(rtcp) {}
  void send(const sockaddr_in& to, std::span<const uint8_t> head, std::span<const uint8_t> body);

  int fd_;
  sockaddr_in rtp_;
  sockaddr_in rtcp_;
};

}  // namespace vexa::camera
