#include "media/rtp/JpegHeaderBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "media/rtp/JpegTestPackets.h"

namespace vexa::rtp {
namespace {

using test::Bytes;
using test::concat;
using test::inBandTables;
using test::jpegMainHeader;

// clang-format off
// ---- Input: main headers -------------------------------------------------------------------

const Bytes kType0Q50At640x480 = {
    0x00,              // type-specific
    0x00, 0x00, 0x00,  // fragment offset 0
    0x00,              // type 0: 4:2:2
    50,                // Q
    80,                // width 640 / 8
    60,                // height 480 / 8
};

const Bytes kType1Q50At640x480 = {
    0x00,              // type-specific
    0x00, 0x00, 0x00,  // fragment offset 0
    0x01,              // type 1: 4:2:0
    50,                // Q
    80,                // width 640 / 8
    60,                // height 480 / 8
};

const Bytes kType64Q50At640x480WithRestarts = {
    0x00,              // type-specific
    0x00, 0x00, 0x00,  // fragment offset 0
    64,                // type 64: type 0 with restart markers
    50,                // Q
    80,                // width 640 / 8
    60,                // height 480 / 8
    0x00, 0x20,        // restart interval 32 MCUs
    0xFF, 0xFF,        // F, L, restart count 0x3FFF: the whole picture
};

// ---- Expected: the header segments ---------------------------------------------------------

const Bytes kSoi = {0xFF, 0xD8};

// T.81 tables K.1 and K.2 in zigzag order: what Q 50 gives.
const Bytes kLumaQ50 = {16,  11,  12,  14,  12,  10,  16,  14,  13,  14,  18,  17,  16,
                        19,  24,  40,  26,  24,  22,  22,  24,  49,  35,  37,  29,  40,
                        58,  51,  61,  60,  57,  51,  56,  55,  64,  72,  92,  78,  64,
                        68,  87,  69,  55,  56,  80,  109, 81,  87,  95,  98,  103, 104,
                        103, 62,  77,  113, 121, 112, 100, 120, 92,  101, 103, 99};
const Bytes kChromaQ50 = {17, 18, 18, 24, 21, 24, 47, 26, 26, 47, 99, 66, 56, 66, 99, 99,
                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// Q 99: (base x 2 + 50) / 100, so 1 below a base of 75 and 2 from there on.
const Bytes kLumaQ99 = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 1, 1, 2, 1, 1, 1,
                        2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
const Bytes kChromaQ99 = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2,
                          2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                          2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
// Q 1: 50 times every base, all above 255.
const Bytes kAll255(64, 255);

Bytes dqt(const Bytes& luma, const Bytes& chroma) {
  return concat({{0xFF, 0xDB,  // DQT
                  0x00, 0x43,  // length 67
                  0x00},       // 8-bit entries, table 0
                 luma,
                 {0xFF, 0xDB,  // DQT
                  0x00, 0x43,  // length 67
                  0x01},       // 8-bit entries, table 1
                 chroma});
}

const Bytes kDriEvery32 = {
    0xFF, 0xDD,  // DRI
    0x00, 0x04,  // length 4
    0x00, 0x20,  // restart interval 32
};

const Bytes kSof0Type0At640x480 = {
    0xFF, 0xC0,        // SOF0
    0x00, 0x11,        // length 17
    0x08,              // 8-bit samples
    0x01, 0xE0,        // height 480
    0x02, 0x80,        // width 640
    0x03,              // three components
    0x00, 0x21, 0x00,  // Y: 2 x 1 (4:2:2), table 0
    0x01, 0x11, 0x01,  // Cb: 1 x 1, table 1
    0x02, 0x11, 0x01,  // Cr: 1 x 1, table 1
};

const Bytes kSof0Type1At640x480 = {
    0xFF, 0xC0,        // SOF0
    0x00, 0x11,        // length 17
    0x08,              // 8-bit samples
    0x01, 0xE0,        // height 480
    0x02, 0x80,        // width 640
    0x03,              // three components
    0x00, 0x22, 0x00,  // Y: 2 x 2 (4:2:0), table 0
    0x01, 0x11, 0x01,  // Cb: 1 x 1, table 1
    0x02, 0x11, 0x01,  // Cr: 1 x 1, table 1
};

// T.81 Annex K.3.
const Bytes kDht = {
    0xFF, 0xC4,  // DHT
    0x00, 0x1F,  // length 31
    0x00,        // DC table 0 (luminance)
    0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,  // codes per length
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,            // symbols
    0xFF, 0xC4,  // DHT
    0x00, 0xB5,  // length 181
    0x10,        // AC table 0 (luminance)
    0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D,  // codes per length
    // symbols
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06,
    0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08,
    0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3,
    0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
    0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9,
    0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4,
    0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA,
    0xFF, 0xC4,  // DHT
    0x00, 0x1F,  // length 31
    0x01,        // DC table 1 (chrominance)
    0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,  // codes per length
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,            // symbols
    0xFF, 0xC4,  // DHT
    0x00, 0xB5,  // length 181
    0x11,        // AC table 1 (chrominance)
    0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77,  // codes per length
    // symbols
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41,
    0x51, 0x07, 0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91,
    0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1,
    0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26,
    0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
    0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74,
    0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A,
    0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4,
    0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
    0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
    0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4,
    0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA,
};

const Bytes kSos = {
    0xFF, 0xDA,  // SOS
    0x00, 0x0C,  // length 12
    0x03,        // three components
    0x00, 0x00,  // Y: DC table 0, AC table 0
    0x01, 0x11,  // Cb: DC table 1, AC table 1
    0x02, 0x11,  // Cr: DC table 1, AC table 1
    0x00, 0x3F,  // spectral selection 0 to 63
    0x00,        // no successive approximation
};

// clang-format on

Bytes headerBytes(const JpegHeaderBuilder& builder) {
  return Bytes(builder.header().begin(), builder.header().end());
}

Bytes headerFor(const Bytes& payload) {
  JpegHeaderBuilder builder;
  EXPECT_TRUE(builder.processMainHeader(payload).has_value());
  return headerBytes(builder);
}

Bytes counting(uint8_t first) {
  Bytes table(kJpegTableEntries);
  std::iota(table.begin(), table.end(), first);
  return table;
}

// ---- Header layout -------------------------------------------------------------------------

TEST(JpegHeaderBuilder, BuildsType0HeaderByteForByte) {
  JpegHeaderBuilder builder;
  EXPECT_EQ(builder.processMainHeader(kType0Q50At640x480), 0u);
  EXPECT_EQ(headerBytes(builder),
            concat({kSoi, dqt(kLumaQ50, kChromaQ50), kSof0Type0At640x480, kDht, kSos}));
}

TEST(JpegHeaderBuilder, BuildsType1HeaderWithTwoByTwoLuminance) {
  EXPECT_EQ(headerFor(kType1Q50At640x480),
            concat({kSoi, dqt(kLumaQ50, kChromaQ50), kSof0Type1At640x480, kDht, kSos}));
}

TEST(JpegHeaderBuilder, RestartTypesWriteDriAndSkipTheRestartHeader) {
  JpegHeaderBuilder builder;
  EXPECT_EQ(builder.processMainHeader(kType64Q50At640x480WithRestarts), kJpegRestartHeaderSize);
  EXPECT_EQ(headerBytes(builder), concat({kSoi, dqt(kLumaQ50, kChromaQ50), kDriEvery32,
                                          kSof0Type0At640x480, kDht, kSos}));

  // Type 65 is type 1 with restart markers: 4:2:0.
  Bytes type65 = kType64Q50At640x480WithRestarts;
  type65[4] = 65;
  EXPECT_EQ(headerFor(type65), concat({kSoi, dqt(kLumaQ50, kChromaQ50), kDriEvery32,
                                       kSof0Type1At640x480, kDht, kSos}));
}

TEST(JpegHeaderBuilder, RefusesRestartTypeWithoutItsRestartHeader) {
  JpegHeaderBuilder builder;
  const Bytes cut(kType64Q50At640x480WithRestarts.begin(),
                  kType64Q50At640x480WithRestarts.end() - 1);
  EXPECT_FALSE(builder.processMainHeader(cut).has_value());
  EXPECT_TRUE(builder.header().empty());
  EXPECT_EQ(builder.rebuildCount(), 0u);
}

TEST(JpegHeaderBuilder, RefusesPayloadShorterThanMainHeader) {
  JpegHeaderBuilder builder;
  const Bytes cut(kType0Q50At640x480.begin(), kType0Q50At640x480.end() - 1);
  EXPECT_FALSE(builder.processMainHeader(cut).has_value());
  EXPECT_FALSE(readJpegMainHeader(cut).has_value());
}

TEST(JpegHeaderBuilder, WritesEightTimesTheSizeFields) {
  // 255 x 1 blocks: 2040 x 8 pixels, the largest width RTP/JPEG can say.
  const Bytes header = headerFor(jpegMainHeader(0, 0, 50, 255, 1));
  const auto sof = std::search(header.begin(), header.end(), kSof0Type0At640x480.begin(),
                               kSof0Type0At640x480.begin() + 5);
  ASSERT_NE(sof, header.end());
  EXPECT_EQ(Bytes(sof + 5, sof + 9), (Bytes{0x00, 0x08, 0x07, 0xF8}));
}

// ---- Tables from Q -------------------------------------------------------------------------

TEST(JpegHeaderBuilder, TreatsQZeroAsOne) {
  const Bytes expected = concat({kSoi, dqt(kAll255, kAll255), kSof0Type0At640x480, kDht, kSos});
  EXPECT_EQ(headerFor(jpegMainHeader(0, 0, 0, 80, 60)), expected);
  EXPECT_EQ(headerFor(jpegMainHeader(0, 0, 1, 80, 60)), expected);
}

TEST(JpegHeaderBuilder, TreatsQFrom100To127AsNinetyNine) {
  const Bytes expected = concat({kSoi, dqt(kLumaQ99, kChromaQ99), kSof0Type0At640x480, kDht, kSos});
  for (uint8_t q : {99, 100, 127}) {
    EXPECT_EQ(headerFor(jpegMainHeader(0, 0, q, 80, 60)), expected) << int(q);
  }
}

TEST(JpegTablesFromQ, ScaleTheBaseTablesAndClampTo255) {
  std::array<uint8_t, kJpegTableEntries> luma{};
  std::array<uint8_t, kJpegTableEntries> chroma{};

  makeJpegTablesFromQ(50, luma, chroma);
  EXPECT_EQ(Bytes(luma.begin(), luma.end()), kLumaQ50);
  EXPECT_EQ(Bytes(chroma.begin(), chroma.end()), kChromaQ50);

  // Q 75: factor 50, so (16 x 50 + 50) / 100 = 8 and (11 x 50 + 50) / 100 = 6.
  makeJpegTablesFromQ(75, luma, chroma);
  EXPECT_EQ(luma[0], 8);
  EXPECT_EQ(luma[1], 6);
  EXPECT_EQ(chroma[63], 50);

  // Q 25: factor 200, twice every base.
  makeJpegTablesFromQ(25, luma, chroma);
  EXPECT_EQ(luma[0], 32);
  EXPECT_EQ(luma[56], 242);
  EXPECT_EQ(chroma[63], 198);

  // Q 10: factor 500; 121 x 5 and 99 x 5 are clamped.
  makeJpegTablesFromQ(10, luma, chroma);
  EXPECT_EQ(luma[0], 80);
  EXPECT_EQ(luma[56], 255);
  EXPECT_EQ(chroma[0], 85);
  EXPECT_EQ(chroma[63], 255);
}

// ---- Rebuilds ------------------------------------------------------------------------------

TEST(JpegHeaderBuilder, KeepsHeaderWhileTypeQAndSizeStay) {
  JpegHeaderBuilder builder;
  ASSERT_TRUE(builder.processMainHeader(kType0Q50At640x480));
  const Bytes first = headerBytes(builder);
  // The rest of the first picture, then a second picture with the same parameters.
  ASSERT_TRUE(builder.processMainHeader(jpegMainHeader(1400, 0, 50, 80, 60)));
  ASSERT_TRUE(builder.processMainHeader(kType0Q50At640x480));
  EXPECT_EQ(headerBytes(builder), first);
  EXPECT_EQ(builder.rebuildCount(), 1u);
}

TEST(JpegHeaderBuilder, RebuildsWhenTypeQSizeOrRestartIntervalChange) {
  JpegHeaderBuilder builder;
  uint32_t expected = 0;
  auto rebuilds = [&](const Bytes& payload) {
    EXPECT_TRUE(builder.processMainHeader(payload));
    return builder.rebuildCount() == ++expected;
  };
  EXPECT_TRUE(rebuilds(kType0Q50At640x480));
  EXPECT_TRUE(rebuilds(jpegMainHeader(0, 1, 50, 80, 60)));  // type
  EXPECT_TRUE(rebuilds(jpegMainHeader(0, 1, 60, 80, 60)));  // Q
  EXPECT_TRUE(rebuilds(jpegMainHeader(0, 1, 60, 40, 60)));  // width
  EXPECT_TRUE(rebuilds(jpegMainHeader(0, 1, 60, 40, 30)));  // height
  EXPECT_TRUE(rebuilds(kType64Q50At640x480WithRestarts));
  Bytes otherInterval = kType64Q50At640x480WithRestarts;
  otherInterval[9] = 0x40;  // restart interval 64
  EXPECT_TRUE(rebuilds(otherInterval));
}

// ---- In-band tables ------------------------------------------------------------------------

TEST(JpegHeaderBuilder, TakesInBandTablesFromTheFirstPacketAndRebuildsEveryPicture) {
  const Bytes luma = counting(1);
  const Bytes chroma = counting(101);
  const Bytes first = concat({jpegMainHeader(0, 1, 255, 80, 60), inBandTables(luma, chroma)});
  JpegHeaderBuilder builder;
  EXPECT_EQ(builder.processMainHeader(first), kJpegTableHeaderSize + kJpegInBandTablesLength);
  const Bytes expected = concat({kSoi, dqt(luma, chroma), kSof0Type1At640x480, kDht, kSos});
  EXPECT_EQ(headerBytes(builder), expected);

  // Later packets of the picture carry no tables.
  EXPECT_EQ(builder.processMainHeader(jpegMainHeader(900, 1, 255, 80, 60)), 0u);
  EXPECT_EQ(builder.rebuildCount(), 1u);

  // The next picture's tables are taken even when nothing seems to have changed.
  EXPECT_EQ(builder.processMainHeader(first), kJpegTableHeaderSize + kJpegInBandTablesLength);
  EXPECT_EQ(builder.rebuildCount(), 2u);
  EXPECT_EQ(headerBytes(builder), expected);
}

TEST(JpegHeaderBuilder, KeepsHeaderWhenInBandTablesAreNotTwo8BitTables) {
  JpegHeaderBuilder builder;
  ASSERT_TRUE(builder.processMainHeader(kType0Q50At640x480));
  const Bytes kept = headerBytes(builder);

  const Bytes only64 = concat({jpegMainHeader(0, 0, 255, 80, 60),
                               {0x00,         // MBZ
                                0x00,         // precision
                                0x00, 0x40},  // length 64: one table
                               counting(1)});
  // The table bytes are still no scan data.
  EXPECT_EQ(builder.processMainHeader(only64), kJpegTableHeaderSize + 64);

  const Bytes none = concat({jpegMainHeader(0, 0, 255, 80, 60),
                             {0x00,           // MBZ
                              0x00,           // precision
                              0x00, 0x00}});  // length 0: the tables sent before
  EXPECT_EQ(builder.processMainHeader(none), kJpegTableHeaderSize);

  const Bytes sixteenBit = concat({jpegMainHeader(0, 0, 255, 80, 60),
                                   {0x00,         // MBZ
                                    0x01,         // precision: table 0 has 16-bit entries
                                    0x00, 0x80},  // length 128: table 0 alone
                                   counting(1),
                                   counting(1)});
  EXPECT_EQ(builder.processMainHeader(sixteenBit), kJpegTableHeaderSize + kJpegInBandTablesLength);

  EXPECT_EQ(headerBytes(builder), kept);
  EXPECT_EQ(builder.rebuildCount(), 1u);
}

TEST(JpegHeaderBuilder, RefusesInBandTablesCutShort) {
  JpegHeaderBuilder builder;
  ASSERT_TRUE(builder.processMainHeader(kType0Q50At640x480));
  const Bytes kept = headerBytes(builder);
  Bytes cut = concat({jpegMainHeader(0, 0, 255, 80, 60), inBandTables(counting(1), counting(1))});
  cut.resize(cut.size() - 1);
  EXPECT_FALSE(builder.processMainHeader(cut).has_value());
  cut.resize(kJpegMainHeaderSize + 3);  // inside the table header
  EXPECT_FALSE(builder.processMainHeader(cut).has_value());
  EXPECT_EQ(headerBytes(builder), kept);
}

TEST(JpegHeaderBuilder, ReadsRestartHeaderBeforeInBandTables) {
  const Bytes luma = counting(1);
  const Bytes chroma = counting(101);
  const Bytes payload = concat({jpegMainHeader(0, 64, 255, 80, 60),
                                {0x00, 0x20,   // restart interval 32
                                 0xFF, 0xFF},  // F, L, restart count
                                inBandTables(luma, chroma)});
  JpegHeaderBuilder builder;
  EXPECT_EQ(builder.processMainHeader(payload),
            kJpegRestartHeaderSize + kJpegTableHeaderSize + kJpegInBandTablesLength);
  EXPECT_EQ(headerBytes(builder),
            concat({kSoi, dqt(luma, chroma), kDriEvery32, kSof0Type0At640x480, kDht, kSos}));
}

}  // namespace
}  // namespace vexa::rtp
