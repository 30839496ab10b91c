#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "camera/PacketTransport.h"

namespace vexa::camera {

// RFC 2326 section 10.12: '$', the channel, the 16-bit length, then the packet.
constexpr uint8_t kInterleavedMagic = '$';
constexpr size_t kInterleavedHeaderSize = 4;
constexpr size_t kMaxInterleavedLength = 0xFFFF;
constexpr size_t kRtpHeaderSize = 12;

// Appends one interleaved frame holding head and body back to back; nothing when they exceed
// the 16-bit length.
void appendInterleavedFrame(std::vector<uint8_t>& out, uint8_t channel,
                            std::span<const uint8_t> head, std::span<const uint8_t> body = {});

// Where a stream starts: a random SSRC, first sequence number and timestamp for each stream.
struct RtpStreamIdentity {
  uint32_t ssrc = 0;
  uint16_t firstSequence = 0;
  uint32_t timestampBase = 0;
};

// One RTP stream: numbers its packets, stamps them and writes its sender reports, and hands
// both to its transport.
class RtpStream {
 public:
  RtpStream(uint8_t payloadType, uint32_t clockRate, std::unique_ptr<PacketTransport> transport,
            RtpStreamIdentity identity);

  // mediaTime counts clock ticks from the start of the stream.
  void sendPacket(std::span<const uint8_t> payload, bool marker, uint32_t mediaTime);
  void sendSenderReport(std::chrono::system_clock::time_point now, uint32_t mediaTime,
                        const std::string& cname);

  uint32_t ssrc() const { return identity_.ssrc; }
  uint16_t nextSequence() const { return nextSequence_; }
  uint32_t timestampAt(uint32_t mediaTime) const { return identity_.timestampBase + mediaTime; }
  uint32_t clockRate() const { return clockRate_; }
  uint32_t packetsSent() const { return packets_; }
  PacketTransport& transport() { return *transport_; }
  const PacketTransport& transport() const { return *transport_; }

 private:
  uint8_t payloadType_;
  uint32_t clockRate_;
  std::unique_ptr<PacketTransport> transport_;
  RtpStreamIdentity identity_;
  uint16_t nextSequence_;
  uint32_t packets_ = 0;
  uint32_t octets_ = 0;  // payload bytes, as sender reports count them
};

}  // namespace vexa::camera
