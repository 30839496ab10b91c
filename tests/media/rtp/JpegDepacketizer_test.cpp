#include "media/rtp/JpegDepacketizer.h"

#include <gtest/gtest.h>

#include <numeric>

#include "media/rtp/JpegTestPackets.h"

namespace vexa::rtp {
namespace {

using test::Bytes;
using test::concat;
using test::inBandTables;
using test::jpegMainHeader;

constexpr uint8_t kType = 1;
constexpr uint8_t kQ = 80;
constexpr uint8_t kWidthBlocks = 8;
constexpr uint8_t kHeightBlocks = 6;
constexpr size_t kChunk = 10;
const Bytes kEndOfImage = {0xFF, 0xD9};

Bytes headerFor(const Bytes& firstPayload) {
  JpegHeaderBuilder builder;
  EXPECT_TRUE(builder.processMainHeader(firstPayload));
  return Bytes(builder.header().begin(), builder.header().end());
}

// Pictures of a few packets, each packet kChunk scan bytes of one value (fill, fill + 1, ...),
// kept below 0xFF so no scan data looks like a marker.
class JpegDepacketizerTest : public ::testing::TestWithParam<Road> {
 protected:
  std::vector<RtpPacket> picture(uint16_t sequence, uint8_t fill, size_t packets = 3) {
    std::vector<RtpPacket> out;
    for (size_t i = 0; i < packets; ++i) {
      const Bytes payload =
          concat({jpegMainHeader(uint32_t(i * kChunk), kType, kQ, kWidthBlocks, kHeightBlocks),
                  Bytes(kChunk, uint8_t(fill + i))});
      out.push_back(maker.make(uint16_t(sequence + i), i + 1 == packets, payload));
    }
    return out;
  }

  Bytes expectedPicture(uint8_t fill, size_t packets = 3) const {
    Bytes scan;
    for (size_t i = 0; i < packets; ++i) scan.insert(scan.end(), kChunk, uint8_t(fill + i));
    return concat(
        {headerFor(jpegMainHeader(0, kType, kQ, kWidthBlocks, kHeightBlocks)), scan, kEndOfImage});
  }

  // Pushes every packet without loss; the result of the last.
  PushResult pushAll(const std::vector<RtpPacket>& packets) {
    PushResult result = PushResult::kIgnored;
    for (const RtpPacket& packet : packets) result = depacketizer.push(packet, false);
    return result;
  }

  Bytes completed() const {
    return Bytes(depacketizer.completedUnit().begin(), depacketizer.completedUnit().end());
  }

  test::PacketMaker maker;
  JpegDepacketizer depacketizer{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(BothRoads, JpegDepacketizerTest,
                         ::testing::Values(Road::Interleaved, Road::Udp), [](const auto& info) {
                           return info.param == Road::Udp ? "Udp" : "Interleaved";
                         });

// ---- Whole pictures ------------------------------------------------------------------------

TEST_P(JpegDepacketizerTest, AssemblesHeaderScanDataAndEndOfImage) {
  const auto packets = picture(100, 0x10);
  EXPECT_EQ(depacketizer.push(packets[0], false), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(packets[1], false), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(packets[2], false), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x10));
}

TEST_P(JpegDepacketizerTest, KeepsTheEndOfImageTheSenderSent) {
  const Bytes first =
      concat({jpegMainHeader(0, kType, kQ, kWidthBlocks, kHeightBlocks), Bytes(kChunk, 0x20)});
  const Bytes last = concat({jpegMainHeader(kChunk, kType, kQ, kWidthBlocks, kHeightBlocks),
                             Bytes(kChunk, 0x21), kEndOfImage});
  depacketizer.push(maker.make(1, false, first), false);
  ASSERT_EQ(depacketizer.push(maker.make(2, true, last), false), PushResult::kComplete);
  EXPECT_EQ(completed(),
            concat({headerFor(first), Bytes(kChunk, 0x20), Bytes(kChunk, 0x21), kEndOfImage}));
}

TEST_P(JpegDepacketizerTest, BuildsTheHeaderOnceForPicturesAlike) {
  ASSERT_EQ(pushAll(picture(1, 0x10)), PushResult::kComplete);
  const Bytes first = completed();
  ASSERT_EQ(pushAll(picture(4, 0x10)), PushResult::kComplete);
  EXPECT_EQ(completed(), first);
  EXPECT_EQ(depacketizer.headerBuilder().rebuildCount(), 1u);
}

TEST_P(JpegDepacketizerTest, TakesScanDataAfterRestartHeaderAndInBandTables) {
  Bytes luma(kJpegTableEntries), chroma(kJpegTableEntries);
  std::iota(luma.begin(), luma.end(), 1);
  std::iota(chroma.begin(), chroma.end(), 65);
  const Bytes restart = {0x00, 0x04,   // restart interval 4
                         0xFF, 0xFF};  // F, L, restart count
  const Bytes first = concat({jpegMainHeader(0, 65, 255, kWidthBlocks, kHeightBlocks), restart,
                              inBandTables(luma, chroma), Bytes(kChunk, 0x30)});
  const Bytes last = concat(
      {jpegMainHeader(kChunk, 65, 255, kWidthBlocks, kHeightBlocks), restart, Bytes(kChunk, 0x31)});
  depacketizer.push(maker.make(1, false, first), false);
  ASSERT_EQ(depacketizer.push(maker.make(2, true, last), false), PushResult::kComplete);
  EXPECT_EQ(completed(),
            concat({headerFor(first), Bytes(kChunk, 0x30), Bytes(kChunk, 0x31), kEndOfImage}));
}

// ---- Loss ----------------------------------------------------------------------------------

TEST_P(JpegDepacketizerTest, DropsPictureWhoseFirstPacketWasLost) {
  const auto lost = picture(1, 0x10);
  EXPECT_EQ(depacketizer.push(lost[1], true), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(lost[2], false), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(4, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
  EXPECT_EQ(depacketizer.droppedPictures(), 1u);
}

TEST_P(JpegDepacketizerTest, DropsPictureWhoseMiddlePacketWasLost) {
  const auto lost = picture(1, 0x10, 4);
  EXPECT_EQ(depacketizer.push(lost[0], false), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(lost[2], true), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(lost[3], false), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(5, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
  EXPECT_EQ(depacketizer.droppedPictures(), 1u);
}

TEST_P(JpegDepacketizerTest, GapOnTheMarkerPacketEndsTheDamagedPicture) {
  const auto lost = picture(1, 0x10);
  depacketizer.push(lost[0], false);
  EXPECT_EQ(depacketizer.push(lost[2], true), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(4, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
}

TEST_P(JpegDepacketizerTest, DropsPictureJoinedInTheMiddle) {
  // The road latched its sequence on a packet inside a picture: no loss to report.
  const auto joined = picture(1, 0x10);
  EXPECT_EQ(depacketizer.push(joined[1], false), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(joined[2], false), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(4, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
}

TEST_P(JpegDepacketizerTest, DropsPictureWithAFragmentOutOfPlace) {
  const auto packets = picture(1, 0x10);
  depacketizer.push(packets[0], false);
  depacketizer.push(packets[1], false);
  EXPECT_EQ(depacketizer.push(packets[1], false), PushResult::kTaken);  // duplicate
  EXPECT_EQ(depacketizer.push(packets[2], false), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(4, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
}

TEST_P(JpegDepacketizerTest, StartsAgainWhenAPictureBeginsBeforeTheLastEnded) {
  const auto unfinished = picture(1, 0x10);
  depacketizer.push(unfinished[0], false);
  depacketizer.push(unfinished[1], false);
  EXPECT_EQ(pushAll(picture(3, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
  EXPECT_EQ(depacketizer.droppedPictures(), 1u);
}

TEST_P(JpegDepacketizerTest, ResetForgetsThePictureBeingAssembled) {
  const auto packets = picture(1, 0x10);
  depacketizer.push(packets[0], false);
  depacketizer.reset();
  depacketizer.push(packets[1], false);
  EXPECT_EQ(depacketizer.push(packets[2], false), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(4, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
}

// ---- Bad packets ---------------------------------------------------------------------------

TEST_P(JpegDepacketizerTest, IgnoresPayloadShorterThanTheMainHeader) {
  const auto packets = picture(1, 0x10);
  depacketizer.push(packets[0], false);
  const Bytes runt(JpegDepacketizer::kMinPayloadBytes - 1, 0x00);
  EXPECT_EQ(depacketizer.push(maker.make(2, false, runt), false), PushResult::kIgnored);
  EXPECT_EQ(depacketizer.push(maker.make(2, true, {}), false), PushResult::kIgnored);
  depacketizer.push(packets[1], false);
  EXPECT_EQ(depacketizer.push(packets[2], false), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x10));
  EXPECT_EQ(depacketizer.malformedPackets(), 2u);
}

TEST_P(JpegDepacketizerTest, DropsPictureWithoutAnyTables) {
  // Q 255 with an empty table header: "the tables sent before", but none were.
  const Bytes noTables = concat({jpegMainHeader(0, kType, 255, kWidthBlocks, kHeightBlocks),
                                 {0x00,         // MBZ
                                  0x00,         // precision
                                  0x00, 0x00},  // length 0
                                 Bytes(kChunk, 0x10)});
  EXPECT_EQ(depacketizer.push(maker.make(1, true, noTables), false), PushResult::kTaken);
  EXPECT_EQ(pushAll(picture(2, 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
}

TEST_P(JpegDepacketizerTest, DropsPictureOverTheSizeCap) {
  constexpr size_t kBig = size_t(64) << 10;
  const size_t packets = JpegDepacketizer::kMaxPictureBytes / kBig + 1;
  for (size_t i = 0; i < packets; ++i) {
    const Bytes payload =
        concat({jpegMainHeader(uint32_t(i * kBig), kType, kQ, kWidthBlocks, kHeightBlocks),
                Bytes(kBig, 0x55)});
    EXPECT_EQ(depacketizer.push(maker.make(uint16_t(i), i + 1 == packets, payload), false),
              PushResult::kTaken);
  }
  EXPECT_EQ(depacketizer.droppedPictures(), 1u);
  EXPECT_EQ(pushAll(picture(uint16_t(packets), 0x40)), PushResult::kComplete);
  EXPECT_EQ(completed(), expectedPicture(0x40));
}

// ---- What the roads do differently after a lost marker -------------------------------------

// Two-packet pictures: the first packet of picture 1, then (its marker lost) picture 2, 3.
class JpegDepacketizerLostMarker : public ::testing::Test {
 protected:
  RtpPacket start(uint16_t sequence, uint8_t payloadType = kJpegPayloadType) {
    return maker.make(
        sequence, false,
        concat({jpegMainHeader(0, kType, kQ, kWidthBlocks, kHeightBlocks), Bytes(kChunk, 0x10)}),
        payloadType);
  }
  RtpPacket end(uint16_t sequence) {
    return maker.make(sequence, true,
                      concat({jpegMainHeader(kChunk, kType, kQ, kWidthBlocks, kHeightBlocks),
                              Bytes(kChunk, 0x11)}));
  }

  test::PacketMaker maker;
};

TEST_F(JpegDepacketizerLostMarker, InterleavedRoadStartsAgainAtOnce) {
  JpegDepacketizer depacketizer(Road::Interleaved);
  depacketizer.push(start(1), false);
  EXPECT_EQ(depacketizer.push(start(3), true), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(end(4), false), PushResult::kComplete);
}

TEST_F(JpegDepacketizerLostMarker, InterleavedRoadWaitsWhenTheGapPacketIsNotJpeg) {
  constexpr uint8_t kOtherPayloadType = 96;
  JpegDepacketizer depacketizer(Road::Interleaved);
  EXPECT_EQ(depacketizer.push(start(3, kOtherPayloadType), true), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(end(4), false), PushResult::kTaken);
  depacketizer.push(start(5), false);
  EXPECT_EQ(depacketizer.push(end(6), false), PushResult::kComplete);
}

TEST_F(JpegDepacketizerLostMarker, UdpRoadLosesTheNextPictureToo) {
  JpegDepacketizer depacketizer(Road::Udp);
  depacketizer.push(start(1), false);
  EXPECT_EQ(depacketizer.push(start(3), true), PushResult::kTaken);
  EXPECT_EQ(depacketizer.push(end(4), false), PushResult::kTaken);
  depacketizer.push(start(5), false);
  EXPECT_EQ(depacketizer.push(end(6), false), PushResult::kComplete);
}

}  // namespace
}  // namespace vexa::rtp
