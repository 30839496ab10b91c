#include "camera/H264UnitLayout.h"

#include <gtest/gtest.h>

#include <tuple>

#include "camera/H264Packetizer.h"

namespace vexa::camera {
namespace {

const NalUnit kSps = {0x67, 0x42};
const NalUnit kPps = {0x68, 0xCE};
const NalUnit kIdr = {0x65, 0x88, 0x84};
const NalUnit kSlice = {0x41, 0x9A};

std::vector<uint8_t> typesOf(const std::vector<NalUnit>& units) {
  std::vector<uint8_t> types;
  for (const NalUnit& unit : units) types.push_back(nal::typeOf(unit));
  return types;
}

TEST(H264UnitLayout, ArrangesKeyAndOtherUnits) {
  // The layout, then the NAL unit types of a key unit and of another.
  const std::tuple<H264UnitLayout, std::vector<uint8_t>, std::vector<uint8_t>> cases[] = {
      {{}, {7, 8, 5}, {1}},
      {{.delimiter = true}, {9, 7, 8, 5}, {9, 1}},
      {{.sei = true}, {7, 8, 6, 5}, {1}},
      {{.delimiter = true, .sei = true}, {9, 7, 8, 6, 5}, {9, 1}},
      {{.parameterSetsInBand = false}, {5}, {1}},
      {{.delimiter = true, .sei = true, .parameterSetsInBand = false}, {9, 6, 5}, {9, 1}},
  };
  for (const auto& [layout, key, other] : cases) {
    EXPECT_EQ(typesOf(arrangeAccessUnit({kSps, kPps, kIdr}, layout)), key);
    EXPECT_EQ(typesOf(arrangeAccessUnit({kSlice}, layout)), other);
  }
}

TEST(H264UnitLayout, ExtraUnitsGoOutByteForByte) {
  // Access unit delimiter: header (type 9), primary_pic_type 7 and the stop bit.
  EXPECT_EQ(accessUnitDelimiter(), (NalUnit{0x09, 0xF0}));
  const NalUnit& sei = userDataSei();
  // SEI header, payload type 5 (user data unregistered), payload size: a 16-byte UUID and text.
  ASSERT_GE(sei.size(), 3u + 16u + 1u);
  EXPECT_EQ((NalUnit{sei[0], sei[1], sei[2]}), (NalUnit{0x06, 0x05, uint8_t(sei.size() - 4)}));
  EXPECT_EQ(sei.back(), 0x80);  // rbsp trailing bits
  for (size_t i = 1; i + 2 < sei.size(); ++i) {
    EXPECT_FALSE(sei[i] == 0 && sei[i + 1] == 0 && sei[i + 2] <= 3) << "needs emulation prevention";
  }
  EXPECT_EQ(toAnnexB({accessUnitDelimiter(), kSlice}),
            (std::vector<uint8_t>{0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x41, 0x9A}));
}

TEST(H264UnitLayout, PacketizerSendsExtrasAsSingleUnits) {
  const auto unit = arrangeAccessUnit({kSps, kPps, kIdr}, {.delimiter = true, .sei = true});
  const auto payloads = packetizeH264(unit, 1000, true);
  ASSERT_EQ(payloads.size(), 4u);
  EXPECT_EQ(payloads[0], accessUnitDelimiter());
  EXPECT_EQ(payloads[1][0] & nal::kTypeMask, 24);  // STAP-A of SPS and PPS
  EXPECT_EQ(payloads[2], userDataSei());
  EXPECT_EQ(payloads[3], kIdr);
}

}  // namespace
}  // namespace vexa::camera
