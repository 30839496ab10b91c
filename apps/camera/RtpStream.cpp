#include "camera/RtpStream.h"

#include <array>

#include "camera/Rtcp.h"

namespace vexa::camera {
namespace {

constexpr uint8_t kVersion2 = 0x80;
constexpr uint8_t kMarkerBit = 0x80;
constexpr uint8_t kPayloadTypeMask = 0x7F;

}  // namespace

void appendInterleavedFrame(std::vector<uint8_t>& out, uint8_t channel,
                            std::span<const uint8_t> head, std::span<const uint8_t> body) {
  const size_t length = head.size() + body.size();
  if (length > kMaxInterleavedLength) return;
  out.insert(out.end(), {kInterleavedMagic, channel, uint8_t(length >> 8), uint8_t(length)});
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), body.begin(), body.end());
}

RtpStream::RtpStream(uint8_t payloadType, uint32_t clockRate,
                     std::unique_ptr<PacketTransport> transport, RtpStreamIdentity identity)
    : payloadType_(payloadType & kPayloadTypeMask),
      clockRate_(clockRate),
      transport_(std::move(transport)),
      identity_(identity),
      nextSequence_(identity.firstSequence) {}

void RtpStream::sendPacket(std::span<const uint8_t> payload, bool marker, uint32_t mediaTime) {
  if (kRtpHeaderSize + payload.size() > kMaxInterleavedLength) return;
  const uint32_t timestamp = timestampAt(mediaTime);
  // RFC 3550 section 5.1: version 2, no padding, extension or CSRC.
  const std::array<uint8_t, kRtpHeaderSize> header = {
      kVersion2,
      uint8_t((marker ? kMarkerBit : 0) | payloadType_),
      uint8_t(nextSequence_ >> 8),
      uint8_t(nextSequence_),
      uint8_t(timestamp >> 24),
      uint8_t(timestamp >> 16),
      uint8_t(timestamp >> 8),
      uint8_t(timestamp),
      uint8_t(identity_.ssrc >> 24),
      uint8_t(identity_.ssrc >> 16),
      uint8_t(identity_.ssrc >> 8),
      uint8_t(identity_.ssrc),
  };
  transport_->sendRtp(header, payload);
  ++nextSequence_;
  ++packets_;
  octets_ += uint32_t(payload.size());
}

void RtpStream::sendSenderReport(std::chrono::system_clock::time_point now, uint32_t mediaTime,
                                 const std::string& cname) {
  const SenderInfo sender{identity_.ssrc, toNtpTime(now), timestampAt(mediaTime), packets_,
                          octets_};
  transport_->sendRtcp(buildSenderReport(sender, cname));
}

}  // namespace vexa::camera
