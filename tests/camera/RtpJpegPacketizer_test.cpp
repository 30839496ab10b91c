#include "camera/RtpJpegPacketizer.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "camera/JpegEncoder.h"
#include "camera/PictureGenerator.h"
#include "camera/RtpJpegTestSupport.h"
#include "support/Codecs.h"
#include "support/Picture.h"

namespace vexa::camera {
namespace {

std::vector<uint8_t> encodedPicture(
    int width, int height,
    JpegEncoder::HuffmanTables tables = JpegEncoder::HuffmanTables::Standard) {
  JpegEncoder encoder;
  EXPECT_TRUE(encoder.open(width, height, 70, tables));
  return encoder.encode(PictureGenerator(width, height).yuvFrame(3));
}

// A hand-made baseline JPEG header up to and including the scan header.
std::vector<uint8_t> header(uint8_t lumaSampling, uint16_t width, uint16_t height,
                            uint8_t precisionAndId = 0x00) {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8};
  std::vector<uint8_t> table = {precisionAndId};
  for (int i = 0; i < 64; ++i) table.push_back(uint8_t(i + 1));
  test::appendSegment(jpeg, 0xDB, table);
  test::appendSegment(jpeg, 0xC0,
                      {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                       uint8_t(width), 3, 1, lumaSampling, 0, 2, 0x11, 0, 3, 0x11, 0});
  test::appendSegment(jpeg, 0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});
  return jpeg;
}

TEST(JpegForRtp, ReadsTablesSizeTypeAndScanOfAnEncodedPicture) {
  const std::vector<uint8_t> jpeg = encodedPicture(160, 120);
  const auto picture = parseJpegForRtp(jpeg);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->type, RtpJpegPicture::kType420);
  EXPECT_EQ(picture->width, 160);
  EXPECT_EQ(picture->height, 120);
  // The scan runs to the end of the picture, EOI excluded.
  EXPECT_EQ(picture->scan.data() + picture->scan.size() + 2, jpeg.data() + jpeg.size());
  EXPECT_NE(picture->scan[0], 0xFF);
}

TEST(JpegForRtp, TakesEachTableByTheComponentsThatUseIt) {
  std::vector<uint8_t> jpeg = header(0x21, 64, 48);
  jpeg.insert(jpeg.end(), {0x12, 0x34, 0xFF, 0xD9});
  const auto picture = parseJpegForRtp(jpeg);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->type, RtpJpegPicture::kType422);
  EXPECT_EQ(picture->lumaTable[0], 1);
  EXPECT_EQ(picture->lumaTable[63], 64);
  EXPECT_EQ(picture->chromaTable, picture->lumaTable);  // both components use table 0 here
  EXPECT_EQ(std::vector<uint8_t>(picture->scan.begin(), picture->scan.end()),
            (std::vector<uint8_t>{0x12, 0x34}));
}

TEST(JpegForRtp, RefusesWhatRtpJpegCannotCarry) {
  EXPECT_FALSE(parseJpegForRtp(header(0x22, 60, 48)));        // width not a multiple of 8
  EXPECT_FALSE(parseJpegForRtp(header(0x22, 2048, 48)));      // wider than 255 units
  EXPECT_FALSE(parseJpegForRtp(header(0x11, 64, 48)));        // 4:4:4
  EXPECT_FALSE(parseJpegForRtp(header(0x22, 64, 48, 0x10)));  // 16-bit table
  std::vector<uint8_t> restart = header(0x22, 64, 48);
  const std::vector<uint8_t> dri = {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x10};
  restart.insert(restart.begin() + 2, dri.begin(), dri.end());
  EXPECT_FALSE(parseJpegForRtp(restart));
  std::vector<uint8_t> progressive = header(0x22, 64, 48);
  progressive[2 + 69 + 1] = 0xC2;  // the frame header's marker
  EXPECT_FALSE(parseJpegForRtp(progressive));
  std::vector<uint8_t> cut = header(0x22, 64, 48);
  cut.resize(cut.size() - 16);
  EXPECT_FALSE(parseJpegForRtp(cut));
  EXPECT_FALSE(parseJpegForRtp(std::vector<uint8_t>{0xFF, 0xD8}));
}

TEST(JpegForRtp, StandardTablesAreTheTypicalOnes) {
  // RTP/JPEG receivers write the typical tables; the encoder must have used exactly those.
  const std::vector<uint8_t> jpeg = encodedPicture(64, 48);
  std::map<uint8_t, std::vector<uint8_t>> found;  // by class and identifier
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA;) {
    const size_t end = at + 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    // One segment may hold several tables.
    for (size_t t = at + 4; jpeg[at + 1] == 0xC4 && t + 17 <= end;) {
      size_t symbols = 0;
      for (int i = 0; i < 16; ++i) symbols += jpeg[t + 1 + i];
      found[jpeg[t]].assign(jpeg.begin() + std::ptrdiff_t(t + 1),
                            jpeg.begin() + std::ptrdiff_t(t + 17 + symbols));
      t += 17 + symbols;
    }
    at = end;
  }
  ASSERT_EQ(found.size(), 4u);
  for (const test::HuffmanTable& table : test::standardHuffmanTables()) {
    std::vector<uint8_t> expected = table.counts;
    expected.insert(expected.end(), table.symbols.begin(), table.symbols.end());
    EXPECT_EQ(found[table.classAndId], expected) << int(table.classAndId);
  }
}

TEST(RtpJpegPacketizer, WritesMainHeaderAndTablesFirst) {
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
  const std::vector<uint8_t> secondHeader = {0x00, 0x00, 0x00, 0x6E, 0x01, 0xFF, 0x50, 0x3C};
  EXPECT_TRUE(std::equal(secondHeader.begin(), secondHeader.end(), payloads[1].begin()));
  EXPECT_EQ(payloads[1].size(), 250u);
  EXPECT_EQ(payloads[2][2] << 8 | payloads[2][3], 110 + 242);
  EXPECT_EQ(payloads[2].size(), 8u + 48);
}

TEST(RtpJpegPacketizer, PayloadsRebuildAPictureThatDecodesAsTheOriginal) {
  const std::vector<uint8_t> jpeg = encodedPicture(160, 120);
  const auto picture = parseJpegForRtp(jpeg);
  ASSERT_TRUE(picture);
  const auto original = test::decodeImage(jpeg, AV_CODEC_ID_MJPEG);
  const auto rebuilt =
      test::decodeImage(test::rebuildJpeg(packetizeJpeg(*picture, 300)), AV_CODEC_ID_MJPEG);
  ASSERT_TRUE(original && rebuilt);
  EXPECT_EQ(rebuilt->bgr, original->bgr);
}

TEST(RtpJpegPacketizer, RefusesPayloadSizesWithoutRoomForTheTables) {
  RtpJpegPicture picture;
  const std::vector<uint8_t> scan(10, 1);
  picture.scan = scan;
  EXPECT_TRUE(packetizeJpeg(picture, 140).empty());
  const auto payloads = packetizeJpeg(picture, 141);
  ASSERT_EQ(payloads.size(), 2u);
  EXPECT_EQ(payloads[0].size(), 141u);
  EXPECT_EQ(payloads[1].size(), 8u + 9);
}

}  // namespace
}  // namespace vexa::camera
