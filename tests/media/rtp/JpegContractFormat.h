#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <numeric>
#include <vector>

#include "media/rtp/DepacketizerContract.h"
#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/RtpPacket.h"
#include "support/RtpPackets.h"

namespace vexa::rtp::test {

// RTP/JPEG packets for the tests, and sample pictures for the shared depacketiser checks,
// packetised as RFC 2435 describes. Every picture can be restarted from, so the checks hold on
// both roads.

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

// Scan data that differs with the seed and never holds 0xFF, so no byte looks like a marker.
inline Bytes jpegScan(size_t size, uint8_t seed) {
  Bytes scan;
  for (size_t i = 0; i < size; ++i) scan.push_back(uint8_t((seed * 31 + i * 7 + 1) % 0xF0));
  return scan;
}

// One picture in `packets` pieces; `afterMain` follows the main header of every packet (the
// restart-marker header), `tables` only that of the first.
inline ContractUnit jpegPicture(uint8_t type, uint8_t q, const Bytes& scan, size_t packets,
                                const Bytes& afterMain = {}, const Bytes& tables = {}) {
  constexpr uint8_t kWidthBlocks = 40, kHeightBlocks = 30;
  ContractUnit unit;
  for (size_t i = 0; i < packets; ++i) {
    const size_t from = scan.size() * i / packets, to = scan.size() * (i + 1) / packets;
    unit.payloads.push_back(
        concat({jpegMainHeader(uint32_t(from), type, q, kWidthBlocks, kHeightBlocks), afterMain,
                i == 0 ? tables : Bytes{},
                Bytes(scan.begin() + std::ptrdiff_t(from), scan.begin() + std::ptrdiff_t(to))}));
  }
  JpegHeaderBuilder builder;
  builder.processMainHeader(unit.payloads.front());
  const bool endsWithEoi = scan.size() >= 2 && scan[scan.size() - 2] == 0xFF && scan.back() == 0xD9;
  unit.expected = concat({Bytes(builder.header().begin(), builder.header().end()), scan,
                          endsWithEoi ? Bytes{} : Bytes{0xFF, 0xD9}});
  return unit;
}

// A quantisation table of 64 entries counting up from first, unlike any a Q gives.
inline Bytes countingTable(uint8_t first) {
  Bytes table(kJpegTableEntries);
  std::iota(table.begin(), table.end(), first);
  return table;
}

inline ContractFormat jpegContractFormat(Road road) {
  const Bytes restartHeader = {0x00, 0x10, 0xFF, 0xFF};  // restart interval 16; F, L, count

  return {road == Road::Udp ? "JpegUdp" : "JpegInterleaved",
          road,
          kJpegPayloadType,
          [road] { return std::make_unique<JpegDepacketizer>(road); },
          {
              jpegPicture(1, 80, jpegScan(90, 1), 3),
              jpegPicture(0, 50, jpegScan(120, 2), 4),
              jpegPicture(65, 255, jpegScan(100, 3), 3, restartHeader,
                          inBandTables(countingTable(1), countingTable(2))),
              jpegPicture(1, 80, concat({jpegScan(60, 4), {0xFF, 0xD9}}), 3),  // the sender's EOI
              jpegPicture(1, 90, jpegScan(75, 5), 3),
          }};
}

}  // namespace vexa::rtp::test
