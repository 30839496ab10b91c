#pragma once

// Building blocks for the RTP/JPEG tests: byte strings, main headers and RTP packets whose
// payload views stay valid for the whole test.

#include <cstdint>
#include <deque>
#include <vector>

#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/RtpPacket.h"
#include "media/rtp/RtpTestPackets.h"

namespace vexa::rtp::test {

// RFC 2435 section 3.1 main header.
inline Bytes jpegMainHeader(uint32_t fragmentOffset, uint8_t type, uint8_t q, uint8_t widthBlocks,
                            uint8_t heightBlocks) {
  // clang-format off
  return {0x00,                                                 // type-specific
          uint8_t(fragmentOffset >> 16), uint8_t(fragmentOffset >> 8),
          uint8_t(fragmentOffset),                              // fragment offset, 24 bits
          type, q, widthBlocks, heightBlocks};                  // type, Q, width / 8, height / 8
  // clang-format on
}

// RFC 2435 section 3.1.8 table header with two 8-bit tables.
inline Bytes inBandTables(const Bytes& luma, const Bytes& chroma) {
  return concat({{0x00,         // MBZ
                  0x00,         // precision: both tables 8-bit
                  0x00, 0x80},  // length 128
                 luma,
                 chroma});
}

// RTP packets as the road hands them over; the payload bytes live as long as the maker.
class PacketMaker {
 public:
  RtpPacket make(uint16_t sequence, bool marker, Bytes payload,
                 uint8_t payloadType = kJpegPayloadType) {
    return {.payloadType = payloadType,
            .marker = marker,
            .sequence = sequence,
            .timestamp = 90000,
            .ssrc = 0x11223344,
            .payload = store_.emplace_back(std::move(payload))};
  }

 private:
  std::deque<Bytes> store_;
};

}  // namespace vexa::rtp::test
