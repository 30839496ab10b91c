#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "camera/ConnectionEnds.h"
#include "camera/RtspTransport.h"
#include "camera/UdpPortPair.h"

namespace vexa::camera {

// Where the packets of one RTP stream go. Streams number, stamp and report the same way on
// every road; only this last step differs.
class PacketTransport {
 public:
  using RtcpHandler = std::function<void(std::span<const uint8_t> packet)>;

  virtual ~PacketTransport() = default;

  // One RTP packet: its fixed header and payload back to back.
  virtual void sendRtp(std::span<const uint8_t> header, std::span<const uint8_t> payload) = 0;
  virtual void sendRtcp(std::span<const uint8_t> packet) = 0;
  // Hands over the RTCP packets the client sent to this transport's own socket, if it has one;
  // the interleaved road's arrive with the RTSP connection instead.
  virtual void receiveRtcp(const RtcpHandler& handler) {}
  // The interleaved channels the stream occupies; nullopt off the connection.
  virtual std::optional<InterleavedChannels> channels() const { return std::nullopt; }
};

// RTP and RTCP as interleaved frames (RFC 2326 section 10.12), appended to the connection's
// pending output.
class InterleavedTransport final : public PacketTransport {
 public:
  InterleavedTransport(InterleavedChannels channels, std::vector<uint8_t>& out)
      : channels_(channels), out_(out) {}

  void sendRtp(std::span<const uint8_t> header, std::span<const uint8_t> payload) override;
  void sendRtcp(std::span<const uint8_t> packet) override;
  std::optional<InterleavedChannels> channels() const override { return channels_; }

 private:
  const InterleavedChannels channels_;
  std::vector<uint8_t>& out_;
};

// RTP and RTCP as UDP datagrams from the server's port pair to the client's ports. Only the
// client's own address is ever sent to, so the camera cannot be aimed at a third party.
class DatagramTransport final : public PacketTransport {
 public:
  // At most this many RTCP datagrams are taken per call, so a flood cannot hold the session.
  static constexpr int kMaxDatagramsPerReceive = 32;
  static constexpr size_t kMaxRtcpDatagram = 2048;

  DatagramTransport(std::unique_ptr<UdpPortPair> ports, const Endpoint& client,
                    ClientPorts clientPorts);

  void sendRtp(std::span<const uint8_t> header, std::span<const uint8_t> payload) override;
  void sendRtcp(std::span<const uint8_t> packet) override;
  void receiveRtcp(const RtcpHandler& handler) override;

  uint16_t serverRtpPort() const { return ports_->rtpPort(); }
  uint16_t serverRtcpPort() const { return ports_->rtcpPort(); }

 private:
  std::unique_ptr<UdpPortPair> ports_;
  const Endpoint clientRtp_;
  const Endpoint clientRtcp_;
  std::vector<uint8_t> received_;
};

}  // namespace vexa::camera
