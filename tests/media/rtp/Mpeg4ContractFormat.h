#pragma once

#include <memory>
#include <vector>

#include "media/rtp/DepacketizerContract.h"
#include "media/rtp/Mpeg4Depacketizer.h"
#include "support/RtpPackets.h"

namespace vexa::rtp::test {

// MPEG-4 visual pictures for the tests and the shared depacketiser checks, packetised as RFC 3016
// describes: the picture's bytes split over packets, the marker on the last.

// Stream headers as a camera sends them: sequence, visual object, object and layer start codes.
inline Bytes mpeg4Configuration() {
  return hexBytes("000001B0 01 000001B5 0913 00000100 00000120 00C48D8800CD0A041E1463");
}
// A group-of-VOPs header, as libavcodec and GStreamer put in front of intra pictures.
inline Bytes mpeg4GroupHeader() {
  return hexBytes("000001B3 001007");
}

// A VOP of coding type I (0) or P (1) whose body bytes differ with the seed and never make a
// start code.
inline Bytes mpeg4Vop(bool intra, size_t bodySize, uint8_t seed) {
  Bytes vop = {0x00, 0x00, 0x01, 0xB6, uint8_t(intra ? 0x10 : 0x50)};
  for (size_t i = 0; i < bodySize; ++i) vop.push_back(uint8_t(0x80 | (seed * 31 + i * 7)));
  return vop;
}

// Splits the picture's bytes at the given positions into payloads.
inline std::vector<Bytes> mpeg4Payloads(const Bytes& picture, const std::vector<size_t>& cuts) {
  std::vector<Bytes> payloads;
  size_t from = 0;
  for (size_t to : cuts) {
    payloads.emplace_back(picture.begin() + long(from), picture.begin() + long(to));
    from = to;
  }
  payloads.emplace_back(picture.begin() + long(from), picture.end());
  return payloads;
}

inline ContractFormat mpeg4ContractFormat(Road road) {
  const auto unit = [](const Bytes& picture, const std::vector<size_t>& cuts) {
    return ContractUnit{mpeg4Payloads(picture, cuts), picture};
  };
  const Bytes configuration = mpeg4Configuration();
  // Headers in a packet of their own, then the intra VOP behind a group header.
  const Bytes first = concat({configuration, mpeg4GroupHeader(), mpeg4Vop(true, 60, 10)});
  const Bytes grouped = concat({mpeg4GroupHeader(), mpeg4Vop(true, 70, 12)});
  const Bytes headed = concat({configuration, mpeg4Vop(true, 50, 14)});
  return {road == Road::Udp ? "Mpeg4Udp" : "Mpeg4Interleaved",
          road,
          kMpeg4PayloadType,
          [road] { return std::make_unique<Mpeg4Depacketizer>(road); },
          {unit(first, {configuration.size(), configuration.size() + 30}),
           unit(mpeg4Vop(false, 40, 11), {15, 30}), unit(grouped, {20, 50}),
           unit(mpeg4Vop(false, 30, 13), {10, 20}),
           unit(headed, {configuration.size() + 8, configuration.size() + 30})}};
}

}  // namespace vexa::rtp::test
