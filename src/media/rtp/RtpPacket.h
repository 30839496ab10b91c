#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vexa::rtp {

constexpr size_t kRtpHeaderSize = 12;

// One RTP packet (RFC 3550 section 5.1), read through bounds checks; payload is a view into the
// packet's bytes, after the CSRC list and the header extension, before any padding.
struct RtpPacket {
  uint8_t payloadType = 0;
  bool marker = false;
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  std::span<const uint8_t> payload;
};

// Nullopt for anything that is not a well-formed RTP packet (short, wrong version, a CSRC list,
// extension or padding reaching past the end).
std::optional<RtpPacket> parseRtpPacket(std::span<const uint8_t> bytes);

// The fixed header of a packet sent: version 2, no padding, extension or CSRC list, the fields
// of header (its payload is not written) big-endian into the first kRtpHeaderSize bytes of out.
void writeRtpHeader(const RtpPacket& header, std::span<uint8_t, kRtpHeaderSize> out);

}  // namespace vexa::rtp
