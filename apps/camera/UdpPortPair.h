#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "camera/ConnectionEnds.h"

namespace vexa::camera {

// The server's two UDP ports of one stream: RTP leaves from the first; RTCP leaves from, and
// clients' RTCP arrives at, the second. Both sockets are non-blocking: a send that would block
// drops the datagram, as the network may.
class UdpPortPair {
 public:
  // Attempts at an even RTP port with RTCP on the next one (RFC 3550 section 11) before any two
  // free ports do.
  static constexpr int kEvenPairAttempts = 16;

  // Binds both on the address of local (its port is not used); nullptr when no port can be
  // bound there.
  static std::unique_ptr<UdpPortPair> open(const Endpoint& local);
  UdpPortPair(const UdpPortPair&) = delete;
  UdpPortPair& operator=(const UdpPortPair&) = delete;
  ~UdpPortPair();

  uint16_t rtpPort() const { return rtp_.port; }
  uint16_t rtcpPort() const { return rtcp_.port; }

  // One datagram of head and body back to back; false when it was not sent.
  bool sendRtp(const Endpoint& to, std::span<const uint8_t> head, std::span<const uint8_t> body);
  bool sendRtcp(const Endpoint& to, std::span<const uint8_t> packet);
  // The size of one datagram waiting at the RTCP port, read into buffer, and its sender; nullopt
  // when none waits. A datagram larger than buffer comes back with its full size, cut.
  std::optional<size_t> receiveRtcp(std::span<uint8_t> buffer, Endpoint& from);

 private:
  struct BoundSocket {
    int fd = -1;
    uint16_t port = 0;
  };

  UdpPortPair(BoundSocket rtp, BoundSocket rtcp) : rtp_(rtp), rtcp_(rtcp) {}
  static BoundSocket bind(const Endpoint& local);
  static void close(BoundSocket& socket);
  static bool send(const BoundSocket& from, const Endpoint& to, std::span<const uint8_t> head,
                   std::span<const uint8_t> body);

  BoundSocket rtp_;
  BoundSocket rtcp_;
};

}  // namespace vexa::camera
