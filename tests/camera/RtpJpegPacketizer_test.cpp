#include "camera/RtpJpegPacketizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vexa::camera {
namespace {

TEST(RtpJpegPacketizer, WritesTheMainHeaderInEveryPacketAndTablesInTheFirst) {
  RtpJpegPicture picture;
  picture.type = RtpJpegPicture::kType420;
  picture.width = 640;
  picture.height = 480;
  picture.lumaTable.fill(3);
  picture.chromaTable.fill(5);
  const std::vector<uint8_t> scan(400, 0x77);
  picture.scan = scan;
  const auto payloads = packetizeJpeg(picture, 250);
  ASSERT_EQ(payloads.size(), 3u);  // 110 scan bytes beside the tables, then 242 and 48
  const std::vector<uint8_t> firstHeader = {
      0x00,              // type-specific
      0x00, 0x00, 0x00,  // fragment offset 0
      0x01,              // type 1
      0xFF,              // Q 255: tables in band
      0x50, 0x3C,        // 640 / 8, 480 / 8
      0x00, 0x00,        // MBZ, precision: both tables 8-bit
      0x00, 0x80,        // table length 128
  };
  EXPECT_TRUE(std::equal(firstHeader.begin(), firstHeader.end(), payloads[0].begin()));
  EXPECT_EQ(payloads[0][12], 3);
  EXPECT_EQ(payloads[0][12 + 64], 5);
  EXPECT_EQ(payloads[0].size(), 250u);
  const std::vector<uint8_t> secondHeader = {
      0x00,              // type-specific
      0x00, 0x00, 0x6E,  // fragment offset 110
      0x01, 0xFF,        // type 1, Q 255
      0x50, 0x3C,        // 640 / 8, 480 / 8
  };
  EXPECT_TRUE(std::equal(secondHeader.begin(), secondHeader.end(), payloads[1].begin()));
  EXPECT_EQ(payloads[1].size(), 250u);
  EXPECT_EQ(payloads[2][2] << 8 | payloads[2][3], 110 + 242);
  EXPECT_EQ(payloads[2].size(), 8u + 48);
  // No room for the tables: nothing at all.
  EXPECT_TRUE(packetizeJpeg(picture, 140).empty());
}

}  // namespace
}  // namespace vexa::camera
