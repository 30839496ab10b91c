#pragma once

#include <memory>
#include <vector>

#include "media/rtp/DepacketizerContract.h"
#include "media/rtp/H264Depacketizer.h"

namespace vexa::rtp::test {

// H.264 sample units for the shared depacketiser checks, packetised as RFC 6184 describes.

// A NAL unit: its header byte, then body bytes that differ with the seed so units cannot be
// mistaken for one another.
inline Bytes h264Nal(uint8_t header, size_t bodySize, uint8_t seed) {
  Bytes nal = {header};
  for (size_t i = 0; i < bodySize; ++i) nal.push_back(uint8_t(seed * 31 + i * 7 + 1));
  return nal;
}

// RFC 6184 section 5.7.1.
inline Bytes h264StapA(const std::vector<Bytes>& nals) {
  Bytes packet = {0x78};  // STAP-A indicator: F 0, NRI 3, type 24
  for (const Bytes& nal : nals) {
    packet.push_back(uint8_t(nal.size() >> 8));  // NAL unit size, high byte
    packet.push_back(uint8_t(nal.size()));       // NAL unit size, low byte
    packet.insert(packet.end(), nal.begin(), nal.end());
  }
  return packet;
}

// RFC 6184 section 5.8: the body split into the given number of FU-A fragments.
inline std::vector<Bytes> h264FuA(const Bytes& nal, size_t fragments) {
  const uint8_t indicator = uint8_t((nal[0] & 0xE0) | kNalFuA);  // F and NRI of the unit, type 28
  const size_t body = nal.size() - 1;
  std::vector<Bytes> packets;
  for (size_t i = 0; i < fragments; ++i) {
    uint8_t header = nalType(nal[0]);        // FU header: the unit's type...
    if (i == 0) header |= 0x80;              // ...with the start bit on the first fragment
    if (i + 1 == fragments) header |= 0x40;  // ...and the end bit on the last
    Bytes packet = {indicator, header};
    const size_t from = 1 + body * i / fragments, to = 1 + body * (i + 1) / fragments;
    packet.insert(packet.end(), nal.begin() + std::ptrdiff_t(from),
                  nal.begin() + std::ptrdiff_t(to));
    packets.push_back(packet);
  }
  return packets;
}

inline Bytes h264AnnexB(const std::vector<Bytes>& nals, Road road) {
  Bytes unit;
  for (const Bytes& nal : nals) {
    if (road == Road::Interleaved) unit.push_back(0);
    unit.insert(unit.end(), {0, 0, 1});
    unit.insert(unit.end(), nal.begin(), nal.end());
  }
  return unit;
}

inline ContractFormat h264ContractFormat(Road road) {
  const Bytes sps = h264Nal(0x67, 12, 1);                                    // NRI 3, type 7
  const Bytes pps = h264Nal(0x68, 4, 2);                                     // NRI 3, type 8
  const auto idr = [](uint8_t seed) { return h264Nal(0x65, 60, seed); };     // NRI 3, type 5
  const auto pSlice = [](uint8_t seed) { return h264Nal(0x41, 45, seed); };  // NRI 2, type 1
  const Bytes sei = h264Nal(0x06, 5, 3);                                     // NRI 0, type 6

  // Parameter sets aggregated, then the IDR slice in fragments.
  const auto aggregatedKey = [&](uint8_t seed) {
    ContractUnit unit;
    unit.payloads.push_back(h264StapA({sps, pps}));
    for (Bytes& packet : h264FuA(idr(seed), 3)) unit.payloads.push_back(packet);
    unit.expected = h264AnnexB({sps, pps, idr(seed)}, road);
    return unit;
  };
  ContractUnit fragmentedDelta;
  fragmentedDelta.payloads = h264FuA(pSlice(11), 3);
  fragmentedDelta.expected = h264AnnexB({pSlice(11)}, road);

  ContractUnit mixedDelta;
  mixedDelta.payloads = {sei};
  for (Bytes& packet : h264FuA(pSlice(13), 2)) mixedDelta.payloads.push_back(packet);
  mixedDelta.expected = h264AnnexB({sei, pSlice(13)}, road);

  ContractUnit singleKey;
  singleKey.payloads = {sps, pps, idr(14)};
  singleKey.expected = h264AnnexB({sps, pps, idr(14)}, road);

  ContractFormat format;
  format.name = road == Road::Udp ? "H264Udp" : "H264Interleaved";
  format.road = road;
  format.payloadType = kInterleavedH264PayloadType;
  format.make = [road] { return std::make_unique<H264Depacketizer>(road); };
  format.units = {aggregatedKey(10), fragmentedDelta, aggregatedKey(12), mixedDelta, singleKey};
  return format;
}

}  // namespace vexa::rtp::test
