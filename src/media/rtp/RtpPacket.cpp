#include "media/rtp/RtpPacket.h"

#include "common/DebugTrace.h"
#include "media/rtp/ByteReader.h"

namespace vexa::rtp {

namespace {

constexpr uint8_t kRtpVersion = 2;
constexpr int kVersionShift = 6;
constexpr uint8_t kPaddingBit = 0x20;
constexpr uint8_t kExtensionBit = 0x10;
constexpr uint8_t kCsrcCountMask = 0x0F;
constexpr uint8_t kMarkerBit = 0x80;
constexpr uint8_t kPayloadTypeMask = 0x7F;
constexpr size_t kCsrcSize = 4;
constexpr size_t kExtensionWordSize = 4;

std::optional<RtpPacket> malformed(const char* why, size_t size) {
  DebugTrace("RTP: dropped a %zu-byte packet: %s", size, why);
  return std::nullopt;
}

}  // namespace

void writeRtpHeader(const RtpPacket& header, std::span<uint8_t, kRtpHeaderSize> out) {
  const auto put = [&out](size_t at, uint32_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[at + i] = uint8_t(value >> (8 * (bytes - 1 - i)));
  };
  out[0] = uint8_t(kRtpVersion << kVersionShift);
  out[1] = uint8_t((header.marker ? kMarkerBit : 0) | (header.payloadType & kPayloadTypeMask));
  put(2, header.sequence, 2);
  put(4, header.timestamp, 4);
  put(8, header.ssrc, 4);
}

std::optional<RtpPacket> parseRtpPacket(std::span<const uint8_t> bytes) {
  // RFC 3550 section 5.1: the fixed header.
  ByteReader reader(bytes);
  uint8_t first = 0, second = 0;
  RtpPacket packet;
  if (!reader.readU8(first) || !reader.readU8(second) || !reader.readU16(packet.sequence) ||
      !reader.readU32(packet.timestamp) || !reader.readU32(packet.ssrc)) {
    return malformed("shorter than the fixed header", bytes.size());
  }
  if ((first >> kVersionShift) != kRtpVersion) return malformed("not version 2", bytes.size());
  packet.marker = (second & kMarkerBit) != 0;
  packet.payloadType = second & kPayloadTypeMask;

  // Section 5.1: contributing sources follow the fixed header; mixers add them, and the payload
  // starts only after them.
  if (!reader.skip(size_t(first & kCsrcCountMask) * kCsrcSize)) {
    return malformed("CSRC list past the end", bytes.size());
  }

  // Section 5.3.1: a profile word and a length in 32-bit words, the 4-byte extension header not
  // counted.
  if ((first & kExtensionBit) != 0) {
    uint16_t profile = 0, words = 0;
    if (!reader.readU16(profile) || !reader.readU16(words) ||
        !reader.skip(size_t(words) * kExtensionWordSize)) {
      return malformed("header extension past the end", bytes.size());
    }
  }

  std::span<const uint8_t> payload = reader.rest();
  // Section 5.1: the last byte counts the padding, itself included, so it is at least 1 and never
  // reaches into the header.
  if ((first & kPaddingBit) != 0) {
    const size_t padding = payload.empty() ? 0 : payload.back();
    if (padding == 0 || padding > payload.size()) {
      return malformed("inconsistent padding", bytes.size());
    }
    payload = payload.first(payload.size() - padding);
  }
  packet.payload = payload;
  return packet;
}

}  // namespace vexa::rtp
