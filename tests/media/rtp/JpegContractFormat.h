#pragma once

#include <memory>
#include <numeric>
#include <vector>

#include "media/rtp/DepacketizerContract.h"
#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/JpegTestPackets.h"

namespace vexa::rtp::test {

// RTP/JPEG sample pictures for the shared depacketiser checks, packetised as RFC 2435
// describes. Every picture can be restarted from, so the checks hold on both roads.

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

inline ContractFormat jpegContractFormat(Road road) {
  Bytes luma(kJpegTableEntries), chroma(kJpegTableEntries);
  std::iota(luma.begin(), luma.end(), 1);
  std::iota(chroma.begin(), chroma.end(), 2);
  const Bytes restartHeader = {0x00, 0x10, 0xFF, 0xFF};  // restart interval 16; F, L, count

  return {road == Road::Udp ? "JpegUdp" : "JpegInterleaved",
          road,
          kJpegPayloadType,
          [road] { return std::make_unique<JpegDepacketizer>(road); },
          {
              jpegPicture(1, 80, jpegScan(90, 1), 3),
              jpegPicture(0, 50, jpegScan(120, 2), 4),
              jpegPicture(65, 255, jpegScan(100, 3), 3, restartHeader, inBandTables(luma, chroma)),
              jpegPicture(1, 80, concat({jpegScan(60, 4), {0xFF, 0xD9}}), 3),  // the sender's EOI
              jpegPicture(1, 90, jpegScan(75, 5), 3),
          }};
}

}  // namespace vexa::rtp::test
