#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

// One RTP stream sent interleaved: numbers its packets, stamps them, frames them on its
// channel, and writes its sender reports on the channel after it.
class RtpStream {
 public:
  RtpStream(uint8_t payloadType, uint32_t clockRate, uint8_t rtpChannel, uint8_t rtcpChannel,
            RtpStreamIdentity identity);

  // mediaTime counts clock ticks from the start of the stream.
  void appendPacket(std::vector<uint8_t>& out, std::span<const uint8_t> payload, bool marker,
                    uint32_t mediaTime);
  void appendSenderReport(std::vector<uint8_t>& out, std::chrono::system_clock::time_point now,
                          uint32_t mediaTime, const std::string& cname);

  uint32_t ssrc() const { return identity_.ssrc; }
  uint16_t nextSequence() const { return nextSequence_; }
  uint32_t timestampAt(uint32_t mediaTime) const { return identity_.timestampBase + mediaTime; }
  uint32_t clockRate() const { return clockRate_; }
  uint8_t rtpChannel() const { return rtpChannel_; }
  uint8_t rtcpChannel() const { return rtcpChannel_; }
  uint32_t packetsSent() const { return packets_; }

 private:
  const uint8_t payloadType_;
  const uint32_t clockRate_;
  const uint8_t rtpChannel_;
  const uint8_t rtcpChannel_;
  const RtpStreamIdentity identity_;
  uint16_t nextSequence_;
  uint32_t packets_ = 0;
  uint32_t octets_ = 0;  // payload bytes, as sender reports count them
};

}  // namespace vexa::camera
