// What the shared depacketiser checks (DepacketizerContract_test.cpp) leave to RTP/JPEG: pieces
// out of place without a reported loss, pictures without tables, the size cap, what each road
// does after a lost marker, and the rebuilt header byte for byte. Real encoders' pictures go
// through it in the loopback runs against the simulated camera.
#include "media/rtp/JpegDepacketizer.h"

#include <gtest/gtest.h>


#include "media/rtp/JpegContractFormat.h"
#include "support/JpegTables.h"

namespace vexa::rtp {
namespace {

using test::Bytes;
using test::concat;
using test::hexBytes;
using test::inBandTables;
using test::jpegMainHeader;

class JpegDepacketizerTest : public ::testing::TestWithParam<Road> {
 protected:
  RtpPacket packet(const test::ContractUnit& unit, size_t i, uint8_t type = kJpegPayloadType) {
    return maker.make(0, i + 1 == unit.payloads.size(), unit.payloads[i], type);
  }

  // After the given pushes, none of which completes a picture, a whole picture comes out, and
  // it alone.
  void expectOnlyTheNextWholePicture(const std::vector<RtpPacket>& packets) {
    for (const RtpPacket& p : packets)
      EXPECT_NE(depacketizer.push(p, false), PushResult::kComplete);
    const test::ContractUnit next = test::jpegPicture(1, 80, test::jpegScan(30, 9), 3);
    for (size_t i = 0; i < 2; ++i)
      EXPECT_EQ(depacketizer.push(packet(next, i), false), PushResult::kTaken);
    ASSERT_EQ(depacketizer.push(packet(next, 2), false), PushResult::kComplete);
    EXPECT_EQ(Bytes(depacketizer.completedUnit().begin(), depacketizer.completedUnit().end()),
              next.expected);
  }

  test::PacketMaker maker;
  JpegDepacketizer depacketizer{GetParam()};
  const test::ContractUnit picture = test::jpegPicture(1, 80, test::jpegScan(30, 1), 3);
};

INSTANTIATE_TEST_SUITE_P(BothRoads, JpegDepacketizerTest,
                         ::testing::Values(Road::Interleaved, Road::Udp), [](const auto& info) {
                           return info.param == Road::Udp ? "Udp" : "Interleaved";
                         });

TEST_P(JpegDepacketizerTest, DropsPicturesWithoutTablesJoinedInTheMiddleOrWithPiecesOutOfPlace) {
  // Q 255 with an empty table header: "the tables sent before", but none were.
  const Bytes noTables = concat({jpegMainHeader(0, 1, 255, 40, 30),
                                 {0x00, 0x00, 0x00, 0x00},  // MBZ, precision, length 0
                                 test::jpegScan(30, 1)});
  expectOnlyTheNextWholePicture({maker.make(0, true, noTables)});
  // The road latched its sequence on a packet inside a picture: no loss to report.
  expectOnlyTheNextWholePicture({packet(picture, 1), packet(picture, 2)});
  expectOnlyTheNextWholePicture(
      {packet(picture, 0), packet(picture, 1), packet(picture, 1), packet(picture, 2)});
}

TEST_P(JpegDepacketizerTest, DropsAPictureOverTheSizeCap) {
  constexpr size_t kBig = size_t(64) << 10;
  const size_t packets = JpegDepacketizer::kMaxPictureBytes / kBig + 1;
  for (size_t i = 0; i < packets; ++i) {
    const RtpPacket big =
        maker.make(0, i + 1 == packets,
                   concat({jpegMainHeader(uint32_t(i * kBig), 1, 80, 40, 30), Bytes(kBig, 0x55)}));
    EXPECT_EQ(depacketizer.push(big, false), PushResult::kTaken);
  }
  EXPECT_EQ(depacketizer.droppedPictures(), 1u);
  expectOnlyTheNextWholePicture({});
}

// After picture 1's first packet, its marker lost: the interleaved road takes picture 2 (unless
// the packet after the gap is no JPEG), the UDP road loses picture 2 too.
TEST_P(JpegDepacketizerTest, ResumesAfterALostMarkerAsTheRoadWants) {
  const bool interleaved = GetParam() == Road::Interleaved;
  depacketizer.push(packet(picture, 0), false);
  EXPECT_EQ(depacketizer.push(packet(picture, 0), true), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(packet(picture, 1), false), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(packet(picture, 2), false),
            interleaved ? PushResult::kComplete : PushResult::kTaken);
  if (interleaved) {
    EXPECT_EQ(depacketizer.push(packet(picture, 0, 96), true), PushResult::kTaken);
    expectOnlyTheNextWholePicture({packet(picture, 1), packet(picture, 2)});
  }
  expectOnlyTheNextWholePicture({});
}

// RFC 2435 section 3.1.7: restart interval 32 MCUs, F, L, restart count 0x3FFF (whole picture).
const Bytes kRestartHeader = {0x00, 0x20, 0xFF, 0xFF};
const Bytes kSoi = {0xFF, 0xD8};

// T.81 tables K.1 and K.2 in zigzag order: what Q 50 gives.
const Bytes kLumaQ50 = hexBytes(
    "100B0C0E 0C0A100E 0D0E1211 10131828 1A181616 18312325 1D283A33 3D3C3933"
    "38374048 5C4E4044 57453738 506D5157 5F626768 673E4D71 79706478 5C656763");
const Bytes kChromaQ50 = concat({hexBytes("11121218 15182F1A 1A2F6342 3842"), Bytes(50, 99)});
// Q 99: (base x 2 + 50) / 100, so 1 below a base of 75 and 2 from there on.
const Bytes kLumaQ99 =
    concat({Bytes(36, 1), {2, 2, 1, 1, 2, 1, 1, 1}, Bytes(9, 2), {1}, Bytes(10, 2)});
const Bytes kChromaQ99 = concat({{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1}, Bytes(50, 2)});
// Q 1: 50 times every base, all above 255.
const Bytes kAll255(64, 255);

const Bytes kDriEvery32 = {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x20};  // DRI, length 4, interval 32

// SOF0, 8-bit samples: Y sampled 2 x 1 (type 0) or 2 x 2 (type 1) on table 0, Cb and Cr 1 x 1
// on table 1.
Bytes sof0(uint8_t lumaSampling, uint16_t width = 640, uint16_t height = 480) {
  Bytes frame = {0xFF, 0xC0, 0x00, 0x11, 0x08};
  test::appendBigEndian(frame, height, 2);
  test::appendBigEndian(frame, width, 2);
  return concat({frame, {0x03, 0x00, lumaSampling, 0x00, 0x01, 0x11, 0x01, 0x02, 0x11, 0x01}});
}

// SOS over three components: Y on Huffman tables 0, Cb and Cr on 1; coefficients 0 to 63.
const Bytes kSos = hexBytes("FFDA 000C 03 0000 0111 0211 003F00");

Bytes dqt(const Bytes& luma, const Bytes& chroma) {
  Bytes out;
  vexa::test::appendJpegSegment(out, 0xDB, concat({{0x00}, luma}));    // 8-bit entries, table 0
  vexa::test::appendJpegSegment(out, 0xDB, concat({{0x01}, chroma}));  // 8-bit entries, table 1
  return out;
}

// The whole header: tables, restart interval if any, frame, the typical Huffman tables, scan.
Bytes header(const Bytes& tables, const Bytes& dri, const Bytes& frame) {
  return concat({kSoi, tables, dri, frame, vexa::test::typicalHuffmanSegments(), kSos});
}

TEST(JpegHeaderBuilder, BuildsTheHeaderByteForByte) {
  const auto restarts = [](uint8_t type, uint8_t q) {
    return concat({jpegMainHeader(0, type, q, 80, 60), kRestartHeader});
  };
  const Bytes tables = inBandTables(test::countingTable(1), test::countingTable(101));
  const Bytes q50 = dqt(kLumaQ50, kChromaQ50);
  const Bytes inBand = dqt(test::countingTable(1), test::countingTable(101));
  const Bytes q99 = header(dqt(kLumaQ99, kChromaQ99), {}, sof0(0x21));
  const struct {
    const char* name;
    Bytes payload;
    size_t notScan;  // bytes after the main header
    Bytes expected;
  } cases[] = {
      {"type 0", jpegMainHeader(0, 0, 50, 80, 60), 0, header(q50, {}, sof0(0x21))},
      {"type 1", jpegMainHeader(0, 1, 50, 80, 60), 0, header(q50, {}, sof0(0x22))},
      {"type 64", restarts(64, 50), kJpegRestartHeaderSize, header(q50, kDriEvery32, sof0(0x21))},
      {"type 65", restarts(65, 50), kJpegRestartHeaderSize, header(q50, kDriEvery32, sof0(0x22))},
      {"Q 0 as 1", jpegMainHeader(0, 0, 0, 80, 60), 0,
       header(dqt(kAll255, kAll255), {}, sof0(0x21))},
      {"Q 99", jpegMainHeader(0, 0, 99, 80, 60), 0, q99},
      {"Q 100 as 99", jpegMainHeader(0, 0, 100, 80, 60), 0, q99},
      {"Q 127 as 99", jpegMainHeader(0, 0, 127, 80, 60), 0, q99},
      {"largest width", jpegMainHeader(0, 0, 50, 255, 1), 0, header(q50, {}, sof0(0x21, 2040, 8))},
      {"in-band tables", concat({jpegMainHeader(0, 1, 255, 80, 60), tables}),
       kJpegTableHeaderSize + kJpegInBandTablesLength, header(inBand, {}, sof0(0x22))},
      {"restart header before in-band tables", concat({restarts(64, 255), tables}),
       kJpegRestartHeaderSize + kJpegTableHeaderSize + kJpegInBandTablesLength,
       header(inBand, kDriEvery32, sof0(0x21))},
  };
  for (const auto& c : cases) {
    JpegHeaderBuilder builder;
    EXPECT_EQ(builder.processMainHeader(c.payload), c.notScan) << c.name;
    EXPECT_EQ(Bytes(builder.header().begin(), builder.header().end()), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vexa::rtp
