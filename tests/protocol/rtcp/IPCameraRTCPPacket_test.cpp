#include "protocol/rtcp/IPCameraRTCPPacket.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa {
namespace {

uint32_t big32(std::span<const uint8_t> b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

// A sender report (RFC 3550 section 6.4.1) of 28 bytes plus one spare.
std::vector<uint8_t> senderReport(uint32_t ssrc, uint32_t ntpMiddle, uint32_t rtpTimestamp) {
  std::vector<uint8_t> p = {
      0x80, 200, 0x00, 0x06,   // V=2, no blocks, SR, length 6
      0, 0, 0, 0,              // SSRC of sender
      0, 0, 0, 0, 0, 0, 0, 0,  // NTP timestamp
      0, 0, 0, 0,              // RTP timestamp
      0, 0, 0, 10,             // sender's packet count
      0, 0, 0, 99,             // sender's octet count
      0};
  for (int i = 0; i < 4; ++i) {
    p[4 + i] = uint8_t(ssrc >> (24 - 8 * i));
    p[10 + i] = uint8_t(ntpMiddle >> (24 - 8 * i));
    p[16 + i] = uint8_t(rtpTimestamp >> (24 - 8 * i));
  }
  return p;
}

const std::vector<uint8_t> kReceiverReport = {0x81, 201, 0x00, 0x07, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0,
                                              0,    0,   0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0,    0,   0,    0};

struct ReceiverReportTest : ::testing::Test {
  platform::ManualClock clock{1000};
  IPCameraRTCPPacket rtcp{MediaClock::kVideo, clock, "camera-viewer-host", 0x11223344};
};

TEST_F(ReceiverReportTest, LaysOutTheCompoundPacket) {
  const auto report = rtcp.process(senderReport(0xCAFEBABE, 0x12345678, 9000),
                                   {.lastSequence = 500, .wrapCount = 2, .lostPackets = 0x01020304});
  ASSERT_EQ(report.size(), 52u);
  EXPECT_EQ(report[0], 0x81);                        // V=2, one report block
  EXPECT_EQ(report[1], 201);                         // RR
  EXPECT_EQ(report[2] << 8 | report[3], 7);          // length in words - 1
  EXPECT_EQ(big32(report, 4), 0x11223344u);          // SSRC of sender
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);          // SSRC of source, from the SR
  EXPECT_EQ(big32(report, 12) & 0xFFFFFF, 0x020304u);  // cumulative lost: low 24 bits
  EXPECT_EQ(big32(report, 16), 2u * 65536u + 500u);  // extended highest sequence
  EXPECT_EQ(big32(report, 24), 0x12345678u);         // LSR: middle of the NTP timestamp
  EXPECT_EQ(report[32], 0x81);                       // SDES, one chunk
  EXPECT_EQ(report[33], 202);
  EXPECT_EQ(report[34] << 8 | report[35], 4);
  EXPECT_EQ(big32(report, 36), 0x11223344u);         // same SSRC
  EXPECT_EQ(report[40], 1);                          // CNAME
  EXPECT_EQ(report[41], 10);                         // cut to 10 characters
  EXPECT_EQ(std::string(report.begin() + 42, report.end()), "camera-vie");
}

TEST_F(ReceiverReportTest, FractionLostCoversTheIntervalSinceThePreviousReport) {
  rtcp.process(kReceiverReport, {.lastSequence = 100, .wrapCount = 0, .lostPackets = 0});
  // 100 more expected, 25 of them lost: 25 * 256 / 100 = 64.
  auto report = rtcp.process(kReceiverReport, {.lastSequence = 200, .wrapCount = 0, .lostPackets = 25});
  EXPECT_EQ(report[12], 64);
  // Nothing arrived in between: fraction 0, the cumulative count stays.
  report = rtcp.process(kReceiverReport, {.lastSequence = 200, .wrapCount = 0, .lostPackets = 25});
  EXPECT_EQ(report[12], 0);
  EXPECT_EQ(big32(report, 12) & 0xFFFFFF, 25u);
}

TEST_F(ReceiverReportTest, AWrapGrowsTheExtendedSequenceBy65536) {
  auto report = rtcp.process(kReceiverReport, {.lastSequence = 65530, .wrapCount = 0, .lostPackets = 0});
  EXPECT_EQ(big32(report, 16), 65530u);
  report = rtcp.process(kReceiverReport, {.lastSequence = 4, .wrapCount = 1, .lostPackets = 0});
  EXPECT_EQ(big32(report, 16), 65536u + 4u);
  EXPECT_EQ(report[12], 0);
}

TEST_F(ReceiverReportTest, AReceiverReportKeepsTheLastSenderReportsLsr) {
  rtcp.process(senderReport(0xCAFEBABE, 0xAABBCCDD, 0), {});
  clock.advance(40);
  const auto report = rtcp.process(kReceiverReport, {});
  EXPECT_EQ(big32(report, 24), 0xAABBCCDDu);
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);
}

TEST_F(ReceiverReportTest, DlsrIsZeroBeforeAnySenderReport) {
  const auto report = rtcp.process(kReceiverReport, {});
  EXPECT_EQ(big32(report, 24), 0u);
  EXPECT_EQ(big32(report, 28), 0u);
}

TEST_F(ReceiverReportTest, JitterFollowsTheSenderReportsAgainstTheirArrival) {
  rtcp.process(senderReport(1, 0, 0), {});
  // One second later by the clock, but the timestamps moved 1.16 s at 90 kHz: D = 14400.
  clock.advance(1000);
  auto report = rtcp.process(senderReport(1, 0, 104400), {});
  EXPECT_EQ(big32(report, 20), 14400u / 16);
  // On time: the jitter decays by 1/16.
  clock.advance(1000);
  report = rtcp.process(senderReport(1, 0, 194400), {});
  EXPECT_EQ(big32(report, 20), 900u - 900u / 16);
}

TEST(ReceiverReport, TheDefaultCnameStandsWhenTheNameIsUnknown) {
  platform::ManualClock clock;
  IPCameraRTCPPacket unknown(MediaClock::kAudio, clock, "", 7);
  const auto report = unknown.process({}, {});
  EXPECT_EQ(report[41], 9);
  EXPECT_EQ(std::string(report.begin() + 42, report.begin() + 51), "610-Kelmo");
  EXPECT_EQ(report[51], 0);  // the end of the item list
  EXPECT_EQ(report[32], 0x81);
}

// The chunk ends at the word after the item list's end; what is left of the 52 bytes becomes
// padding of the SDES packet, counted in its last octet.
TEST(ReceiverReport, ShortNamesEndTheChunkAndPadTheRest) {
  platform::ManualClock clock;
  struct Case {
    const char* name;
    uint8_t firstOctet;  // V=2, P, one chunk
    uint8_t lastOctet;
  };
  for (const Case& c : {Case{"a", 0xA1, 8}, Case{"pc", 0xA1, 4}, Case{"abcde", 0xA1, 4},
                        Case{"abcdef", 0x81, 0}, Case{"abcdefghi", 0x81, 0}}) {
    SCOPED_TRACE(c.name);
    IPCameraRTCPPacket rtcp(MediaClock::kAudio, clock, c.name, 7);
    const auto report = rtcp.process({}, {});
    const size_t length = std::string(c.name).size();
    EXPECT_EQ(report[32], c.firstOctet);
    EXPECT_EQ(report[34] << 8 | report[35], 4);  // the length still covers all 20 bytes
    EXPECT_EQ(report[41], length);
    EXPECT_EQ(std::string(report.begin() + 42, report.begin() + 42 + long(length)), c.name);
    EXPECT_EQ(report[42 + length], 0);  // the end of the item list
    EXPECT_EQ(report[51], c.lastOctet);
  }
}

TEST(ReceiverReport, ALoneSenderReportIsReadButNotOneCutShorter) {
  platform::ManualClock clock;
  IPCameraRTCPPacket rtcp(MediaClock::kVideo, clock, "pc", 7);
  std::vector<uint8_t> lone = senderReport(0xCAFEBABE, 0x12345678, 0);
  lone.resize(28);  // no report blocks, nothing after it
  auto report = rtcp.process(lone, {});
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);
  EXPECT_EQ(big32(report, 24), 0x12345678u);
  std::vector<uint8_t> cut = senderReport(0xDEADBEEF, 0x55555555, 0);
  cut.resize(27);
  report = rtcp.process(cut, {});
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);
  EXPECT_EQ(big32(report, 24), 0x12345678u);
}

TEST(ReceiverReport, TheSenderSsrcNeverEqualsTheSourceItReportsOn) {
  platform::ManualClock clock;
  IPCameraRTCPPacket rtcp(MediaClock::kVideo, clock, "pc", 0xCAFEBABE);
  const auto report = rtcp.process(senderReport(0xCAFEBABE, 0, 0), {});
  EXPECT_NE(big32(report, 4), 0xCAFEBABEu);
  EXPECT_EQ(big32(report, 4), big32(report, 36));
}

}  // namespace
}  // namespace vexa
