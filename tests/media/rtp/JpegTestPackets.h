#pragma once

// Building blocks for the RTP/JPEG tests: byte strings, main headers and RTP packets whose
// payload views stay valid for the whole test.

#include <cstdint>
#include <deque>
#include <vector>

#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/RtpPacket.h"
#include "support/RtpPackets.h"

namespace vexa::rtp::test {

// RFC 2435 section 3.1 main header: type-specific, 24-bit fragment offset, type, Q, width / 8,
// height / 8.
inline Bytes jpegMainHeader(uint32_t fragmentOffset, uint8_t type, uint8_t q, uint8_t widthBlocks,
                            uint8_t heightBlocks) {
  Bytes header = {0x00};
  appendBigEndian(header, fragmentOffset, 3);
  return concat({header, {type, q, widthBlocks, heightBlocks}});
}

// RFC 2435 section 3.1.8 table header (MBZ, both tables 8-bit, length 128) and the tables.
inline Bytes inBandTables(const Bytes& luma, const Bytes& chroma) {
  return concat({{0x00, 0x00, 0x00, 0x80}, luma, chroma});
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
