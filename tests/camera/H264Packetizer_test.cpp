#include "camera/H264Packetizer.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa::camera {
namespace {

NalUnit unitOf(uint8_t header, size_t size) {
  NalUnit unit(size);
  unit[0] = header;
  for (size_t i = 1; i < size; ++i) unit[i] = uint8_t(i * 7 + 1);
  return unit;
}

const NalUnit kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA};  // NRI 3, type 7
const NalUnit kPps = {0x68, 0xCE, 0x3C, 0x80};        // NRI 3, type 8

TEST(H264Packetizer, FragmentsUnitsLargerThanThePayloadIntoFuA) {
  const NalUnit idr = unitOf(0x65, 251);  // NRI 3, type 5; body of 250 bytes
  const auto payloads = packetizeH264({idr}, 100, false);
  ASSERT_EQ(payloads.size(), 3u);  // 98 + 98 + 54 body bytes
  for (const RtpPayload& payload : payloads) {
    EXPECT_LE(payload.size(), 100u);
    EXPECT_EQ(payload[0], 0x7C);  // FU indicator: F 0, NRI 3, type 28
  }
  // FU headers: start, middle, end, each of type 5.
  EXPECT_EQ(std::tuple(payloads[0][1], payloads[1][1], payloads[2][1]), std::tuple(0x85, 5, 0x45));
  EXPECT_EQ(payloads[2].size(), 2u + 54u);
  // The fragments carry the unit's body in order, its header folded into theirs.
  NalUnit rebuilt = {idr[0]};
  for (const RtpPayload& payload : payloads) {
    rebuilt.insert(rebuilt.end(), payload.begin() + 2, payload.end());
  }
  EXPECT_EQ(rebuilt, idr);
  // A unit of exactly the payload size goes alone.
  EXPECT_EQ(packetizeH264({unitOf(0x41, 100)}, 100, false),
            std::vector<RtpPayload>{unitOf(0x41, 100)});
  EXPECT_EQ(packetizeH264({unitOf(0x41, 101)}, 100, false).size(), 2u);
}

TEST(H264Packetizer, AggregatesParameterSetsIntoStapAWhenTheyFit) {
  const NalUnit idr = unitOf(0x65, 60);
  const RtpPayload aggregated = {
      0x78,                                      // STAP-A indicator: F 0, NRI 3, type 24
      0x00, 0x05, 0x67, 0x42, 0xC0, 0x1E, 0xDA,  // SPS behind its size
      0x00, 0x04, 0x68, 0xCE, 0x3C, 0x80,        // PPS behind its size
  };
  EXPECT_EQ(packetizeH264({kSps, kPps, idr}, 100, true),
            (std::vector<RtpPayload>{aggregated, idr}));
  EXPECT_EQ(packetizeH264({kSps, kPps, idr}, 100, false),
            (std::vector<RtpPayload>{kSps, kPps, idr}));
  const NalUnit bigSps = unitOf(0x67, 20);
  EXPECT_EQ(packetizeH264({bigSps, kPps}, 24, true), (std::vector<RtpPayload>{bigSps, kPps}));
}

}  // namespace
}  // namespace vexa::camera
