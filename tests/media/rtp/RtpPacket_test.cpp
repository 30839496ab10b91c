#include "media/rtp/RtpPacket.h"

#include <gtest/gtest.h>

#include <vector>

#include "media/rtp/ByteReader.h"

namespace vexa::rtp {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes payloadOf(const Bytes& bytes) {
  const std::optional<RtpPacket> packet = parseRtpPacket(bytes);
  if (!packet) return {0xDE, 0xAD};  // never a payload of these tests
  return Bytes(packet->payload.begin(), packet->payload.end());
}

TEST(RtpPacket, ReadsTheFixedHeaderBigEndian) {
  const Bytes bytes = {
      0x80,                    // version 2, no padding, no extension, no CSRC
      0xE3,                    // marker, payload type 99
      0xAB, 0xCD,              // sequence number
      0x01, 0x02, 0x03, 0x04,  // timestamp
      0xF1, 0xF2, 0xF3, 0xF4,  // SSRC
      0x65, 0x88,              // payload
  };
  const std::optional<RtpPacket> packet = parseRtpPacket(bytes);
  ASSERT_TRUE(packet.has_value());
  EXPECT_TRUE(packet->marker);
  EXPECT_EQ(packet->payloadType, 99);
  EXPECT_EQ(packet->sequence, 0xABCD);
  EXPECT_EQ(packet->timestamp, 0x01020304u);
  EXPECT_EQ(packet->ssrc, 0xF1F2F3F4u);
  EXPECT_EQ(Bytes(packet->payload.begin(), packet->payload.end()), (Bytes{0x65, 0x88}));
}

TEST(RtpPacket, SkipsTheCsrcList) {
  const Bytes bytes = {
      0x82,                    // version 2, CSRC count 2
      0x60,                    // payload type 96
      0x00, 0x07,              // sequence number
      0x00, 0x00, 0x00, 0x00,  // timestamp
      0x00, 0x00, 0x00, 0x01,  // SSRC
      0x11, 0x11, 0x11, 0x11,  // CSRC 1
      0x22, 0x22, 0x22, 0x22,  // CSRC 2
      0x41, 0x9A,              // payload
  };
  EXPECT_EQ(payloadOf(bytes), (Bytes{0x41, 0x9A}));
}

TEST(RtpPacket, SkipsAnEmptyHeaderExtensionOfFourBytes) {
  const Bytes bytes = {
      0x90,                    // version 2, extension
      0x63,                    // payload type 99
      0x00, 0x07,              // sequence number
      0x00, 0x00, 0x00, 0x00,  // timestamp
      0x00, 0x00, 0x00, 0x01,  // SSRC
      0xBE, 0xDE,              // extension profile
      0x00, 0x00,              // extension length 0 words
      0x65, 0x01,              // payload
  };
  EXPECT_EQ(payloadOf(bytes), (Bytes{0x65, 0x01}));
}

TEST(RtpPacket, SkipsCsrcsBeforeAHeaderExtension) {
  const Bytes bytes = {
      0x91,                    // version 2, extension, CSRC count 1
      0x63,                    // payload type 99
      0x00, 0x07,              // sequence number
      0x00, 0x00, 0x00, 0x00,  // timestamp
      0x00, 0x00, 0x00, 0x01,  // SSRC
      0x11, 0x11, 0x11, 0x11,  // CSRC
      0x10, 0x00,              // extension profile
      0x00, 0x02,              // extension length 2 words
      0xAA, 0xAA, 0xAA, 0xAA,  // extension word 1
      0xBB, 0xBB, 0xBB, 0xBB,  // extension word 2
      0x67,                    // payload
  };
  EXPECT_EQ(payloadOf(bytes), (Bytes{0x67}));
}

TEST(RtpPacket, LeavesPaddingOut) {
  const Bytes bytes = {
      0xA0,                    // version 2, padding
      0x63,                    // payload type 99
      0x00, 0x07,              // sequence number
      0x00, 0x00, 0x00, 0x00,  // timestamp
      0x00, 0x00, 0x00, 0x01,  // SSRC
      0x65, 0x01, 0x02,        // payload
      0x00, 0x00, 0x03,        // padding, its last byte counting all three
  };
  EXPECT_EQ(payloadOf(bytes), (Bytes{0x65, 0x01, 0x02}));
}

TEST(RtpPacket, PaddingMayTakeTheWholePayload) {
  const Bytes bytes = {
      0xA0, 0x63, 0x00, 0x07,  // version 2, padding; payload type 99; sequence number
      0x00, 0x00, 0x00, 0x00,  // timestamp
      0x00, 0x00, 0x00, 0x01,  // SSRC
      0x00, 0x02,              // padding only
  };
  const std::optional<RtpPacket> packet = parseRtpPacket(bytes);
  ASSERT_TRUE(packet.has_value());
  EXPECT_TRUE(packet->payload.empty());
}

// A fixed header with the given first byte (version, P, X, CSRC count), then the rest.
Bytes afterHeader(uint8_t first, std::initializer_list<uint8_t> rest) {
  Bytes bytes = {
      first,                    // version, padding, extension, CSRC count
      0x63,                     // payload type 99
      0x00,  0x07,              // sequence number
      0x00,  0x00, 0x00, 0x00,  // timestamp
      0x00,  0x00, 0x00, 0x01,  // SSRC
  };
  bytes.insert(bytes.end(), rest);
  return bytes;
}

struct Malformed {
  const char* name;
  Bytes bytes;
};

class RtpPacketMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(RtpPacketMalformed, IsRefused) {
  EXPECT_FALSE(parseRtpPacket(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    RtpPacket, RtpPacketMalformed,
    ::testing::Values(
        Malformed{"Empty", {}}, Malformed{"ShortOfTheFixedHeader", Bytes(kRtpHeaderSize - 1, 0x80)},
        // Version 1.
        Malformed{"Version1", afterHeader(0x40, {0x65})},
        // CSRC count 3, one CSRC and a half.
        Malformed{"CsrcListPastTheEnd", afterHeader(0x83, {0x11, 0x11, 0x11, 0x11, 0x22, 0x22})},
        // Extension: profile, half a length.
        Malformed{"ExtensionHeaderCut", afterHeader(0x90, {0xBE, 0xDE, 0x00})},
        // Extension: profile, length 2 words, one word.
        Malformed{"ExtensionPastTheEnd",
                  afterHeader(0x90, {0xBE, 0xDE, 0x00, 0x02, 0xAA, 0xAA, 0xAA, 0xAA})},
        // Padding: count 3 in the last byte, two bytes after the header.
        Malformed{"PaddingPastThePayload", afterHeader(0xA0, {0x65, 0x03})},
        // Padding: count 0, which cannot count itself.
        Malformed{"PaddingCountZero", afterHeader(0xA0, {0x65, 0x00})},
        // Padding, nothing after the header.
        Malformed{"PaddingWithoutPayload", afterHeader(0xA0, {})}),
    [](const ::testing::TestParamInfo<Malformed>& info) { return info.param.name; });

TEST(RtpPacket, RefusesEveryTruncationOfAPacketWithCsrcAndExtension) {
  const Bytes bytes = {
      0x91, 0x63, 0x00, 0x07,  // version 2, extension, CSRC count 1; payload type 99; sequence
      0x00, 0x00, 0x00, 0x00,  // timestamp
      0x00, 0x00, 0x00, 0x01,  // SSRC
      0x11, 0x11, 0x11, 0x11,  // CSRC
      0x10, 0x00, 0x00, 0x01,  // extension profile, length 1 word
      0xAA, 0xAA, 0xAA, 0xAA,  // extension word
  };
  for (size_t length = 0; length < bytes.size(); ++length) {
    const Bytes cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
    EXPECT_FALSE(parseRtpPacket(cut)) << length;
  }
  EXPECT_TRUE(parseRtpPacket(bytes));
}

TEST(ByteReader, FailedReadsLeavePositionAndValueAlone) {
  const Bytes bytes = {0x01, 0x02, 0x03};
  ByteReader reader(bytes);
  uint32_t value = 7;
  EXPECT_FALSE(reader.readU32(value));
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(reader.position(), 0u);
  EXPECT_TRUE(reader.readU24(value));
  EXPECT_EQ(value, 0x010203u);
  uint8_t byte = 0;
  EXPECT_FALSE(reader.readU8(byte));
  EXPECT_FALSE(reader.skip(1));
  EXPECT_TRUE(reader.skip(0));
}

}  // namespace
}  // namespace vexa::rtp
