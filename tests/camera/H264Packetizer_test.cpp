#include "camera/H264Packetizer.h"

#include <gtest/gtest.h>

#include <vector>

#include "camera/RtspTestSupport.h"

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

std::vector<uint8_t> annexB(const std::vector<NalUnit>& units) {
  std::vector<uint8_t> stream;
  for (const NalUnit& unit : units) {
    stream.insert(stream.end(), {0, 0, 0, 1});
    stream.insert(stream.end(), unit.begin(), unit.end());
  }
  return stream;
}

// What a receiver rebuilds from the payloads.
std::vector<uint8_t> reassembled(const std::vector<RtpPayload>& payloads) {
  test::H264Reassembler reassembler;
  for (const RtpPayload& payload : payloads) EXPECT_TRUE(reassembler.push(payload));
  return reassembler.takeAccessUnit();
}

TEST(SplitAnnexB, FindsUnitsBehindThreeAndFourByteStartCodes) {
  const std::vector<uint8_t> stream = {0,    0, 0, 1, 0x67, 0xAA, 0, 0,    1,    0x68,
                                       0xBB, 0, 0, 0, 0,    0,    1, 0x65, 0x01, 0x02};
  const auto units = splitAnnexB(stream);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(std::vector<uint8_t>(units[0].begin(), units[0].end()),
            (std::vector<uint8_t>{0x67, 0xAA}));
  // Trailing zero bytes belong to the next start code.
  EXPECT_EQ(std::vector<uint8_t>(units[1].begin(), units[1].end()),
            (std::vector<uint8_t>{0x68, 0xBB}));
  EXPECT_EQ(std::vector<uint8_t>(units[2].begin(), units[2].end()),
            (std::vector<uint8_t>{0x65, 0x01, 0x02}));
  EXPECT_TRUE(splitAnnexB(std::vector<uint8_t>{1, 2, 3}).empty());
}

TEST(H264Packetizer, SendsUnitsThatFitAlone) {
  const NalUnit slice = unitOf(0x41, 100);
  const auto payloads = packetizeH264({kSps, kPps, slice}, 100, false);
  ASSERT_EQ(payloads.size(), 3u);
  EXPECT_EQ(payloads[0], kSps);
  EXPECT_EQ(payloads[1], kPps);
  EXPECT_EQ(payloads[2], slice);
}

TEST(H264Packetizer, FragmentsLargeUnitsIntoFuA) {
  const NalUnit idr = unitOf(0x65, 251);  // NRI 3, type 5; body of 250 bytes
  const auto payloads = packetizeH264({idr}, 100, false);
  ASSERT_EQ(payloads.size(), 3u);  // 98 + 98 + 54 body bytes
  for (size_t i = 0; i < payloads.size(); ++i) {
    EXPECT_LE(payloads[i].size(), 100u);
    EXPECT_EQ(payloads[i][0], 0x7C);  // F 0, NRI 3, type 28
    EXPECT_EQ(payloads[i][1] & 0x1F, 5);
  }
  EXPECT_EQ(payloads[0][1], 0x85);  // start
  EXPECT_EQ(payloads[1][1], 0x05);
  EXPECT_EQ(payloads[2][1], 0x45);  // end
  EXPECT_EQ(payloads[2].size(), 2u + 54u);
  EXPECT_EQ(reassembled(payloads), annexB({idr}));
}

TEST(H264Packetizer, UnitOfExactlyThePayloadSizeIsNotFragmented) {
  const NalUnit slice = unitOf(0x41, 100);
  EXPECT_EQ(packetizeH264({slice}, 100, false).size(), 1u);
  EXPECT_EQ(packetizeH264({unitOf(0x41, 101)}, 100, false).size(), 2u);
}

TEST(H264Packetizer, AggregatesParameterSetsIntoStapA) {
  const NalUnit idr = unitOf(0x65, 60);
  const auto payloads = packetizeH264({kSps, kPps, idr}, 100, true);
  ASSERT_EQ(payloads.size(), 2u);
  const RtpPayload expected = {
      0x78,                                      // F 0, NRI 3, type 24
      0x00, 0x05, 0x67, 0x42, 0xC0, 0x1E, 0xDA,  // SPS behind its size
      0x00, 0x04, 0x68, 0xCE, 0x3C, 0x80,        // PPS behind its size
  };
  EXPECT_EQ(payloads[0], expected);
  EXPECT_EQ(payloads[1], idr);
  EXPECT_EQ(reassembled(payloads), annexB({kSps, kPps, idr}));
}

TEST(H264Packetizer, SendsParameterSetsAloneWhenTheyDoNotFitTogether) {
  const NalUnit bigSps = unitOf(0x67, 20);
  const auto payloads = packetizeH264({bigSps, kPps}, 24, true);
  ASSERT_EQ(payloads.size(), 2u);
  EXPECT_EQ(payloads[0], bigSps);
  EXPECT_EQ(payloads[1], kPps);
}

TEST(H264Packetizer, SkipsEmptyUnitsAndRefusesUselessSizes) {
  EXPECT_EQ(packetizeH264({{}, kPps}, 100, false).size(), 1u);
  EXPECT_TRUE(packetizeH264({kPps}, 2, false).empty());
}

}  // namespace
}  // namespace vexa::camera
