#pragma once

#include <memory>
#include <vector>

#include "media/rtp/DepacketizerContract.h"
#include "media/rtp/H264Depacketizer.h"
#include "support/RtpPackets.h"

namespace vexa::rtp::test {

// H.264 sample units for the shared depacketiser checks, packetised as RFC 6184 describes.

// A NAL unit: its header byte, then body bytes that differ with the seed so units cannot be
// mistaken for one another.
inline Bytes h264Nal(uint8_t header, size_t bodySize, uint8_t seed) {
  Bytes nal = {header};
  for (size_t i = 0; i < bodySize; ++i) nal.push_back(uint8_t(seed * 31 + i * 7 + 1));
  return nal;
}

// RFC 6184 section 5.7.1: the STAP-A indicator (NRI 3, type 24), then each unit after its size.
inline Bytes h264StapA(const std::vector<Bytes>& nals) {
  Bytes packet = {0x78};
  for (const Bytes& nal : nals)
    packet = concat({packet, {uint8_t(nal.size() >> 8), uint8_t(nal.size())}, nal});
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
    const size_t from = 1 + body * i / fragments, to = 1 + body * (i + 1) / fragments;
    packets.push_back(
        concat({{indicator, header}, Bytes(nal.begin() + long(from), nal.begin() + long(to))}));
  }
  return packets;
}

inline Bytes h264AnnexB(const std::vector<Bytes>& nals, Road road) {
  Bytes unit;
  for (const Bytes& nal : nals)
    unit = concat({unit, road == Road::Interleaved ? Bytes{0, 0, 0, 1} : Bytes{0, 0, 1}, nal});
  return unit;
}

inline ContractFormat h264ContractFormat(Road road) {
  const Bytes sps = h264Nal(0x67, 12, 1);                                    // NRI 3, type 7
  const Bytes pps = h264Nal(0x68, 4, 2);                                     // NRI 3, type 8
  const auto idr = [](uint8_t seed) { return h264Nal(0x65, 60, seed); };     // NRI 3, type 5
  const auto pSlice = [](uint8_t seed) { return h264Nal(0x41, 45, seed); };  // NRI 2, type 1
  const Bytes sei = h264Nal(0x06, 5, 3);                                     // NRI 0, type 6

  const auto joined = [](std::vector<Bytes> packets, const std::vector<Bytes>& more) {
    packets.insert(packets.end(), more.begin(), more.end());
    return packets;
  };
  // Parameter sets aggregated, then the IDR slice in fragments.
  const auto aggregatedKey = [&](uint8_t seed) {
    return ContractUnit{joined({h264StapA({sps, pps})}, h264FuA(idr(seed), 3)),
                        h264AnnexB({sps, pps, idr(seed)}, road)};
  };
  return {road == Road::Udp ? "H264Udp" : "H264Interleaved",
          road,
          kInterleavedH264PayloadType,
          [road] { return std::make_unique<H264Depacketizer>(road); },
          {aggregatedKey(10),
           {h264FuA(pSlice(11), 3), h264AnnexB({pSlice(11)}, road)},  // fragmented delta
           aggregatedKey(12),
           {joined({sei}, h264FuA(pSlice(13), 2)), h264AnnexB({sei, pSlice(13)}, road)},
           {{sps, pps, idr(14)}, h264AnnexB({sps, pps, idr(14)}, road)}}};  // single NAL units
}

}  // namespace vexa::rtp::test
