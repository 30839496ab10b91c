#include "protocol/rtcp/IPCameraRTCPPacket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Datagrams.h"
#include "support/RtcpPackets.h"
#include "support/RtpPackets.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
using rtp::test::hexBytes;
using test::big32;
using test::kReceiverReport;
using test::senderReport;

Bytes bytesOf(std::span<const uint8_t> report) {
  return {report.begin(), report.end()};
}

struct ReceiverReportTest : ::testing::Test {
  platform::ManualClock clock{1000};
  IPCameraRTCPPacket rtcp{MediaClock::kVideo, clock, "camera-viewer-host", 0x11223344};
};

TEST_F(ReceiverReportTest, LaysOutTheCompoundPacket) {
  Bytes compound = senderReport(0xCAFEBABE, 0x12345678, 9000);
  compound.insert(compound.end(), kReceiverReport.begin(), kReceiverReport.end());
  // RR: V=2, one block, length 7; SSRC of sender; SSRC of source (from the SR); fraction and
  // the low 24 bits of the cumulative loss; extended highest sequence; jitter; LSR (the middle
  // of the SR's NTP timestamp); DLSR. SDES: one chunk, length 4; the same SSRC; CNAME cut to 10.
  EXPECT_EQ(bytesOf(rtcp.process(compound,
                                 {.lastSequence = 500, .wrapCount = 2, .lostPackets = 0x01020304})),
            hexBytes("81C90007 11223344 CAFEBABE FF020304 000201F4 00000000 12345678 00000000"
                     "81CA0004 11223344 010A 63616D6572612D766965"));
}

// Source SSRC and LSR come from the last sender report read whole, alone (28 bytes) or in a
// compound; a receiver report keeps them, a sender report cut short is not read.
TEST_F(ReceiverReportTest, ReportsOnTheLastSenderReportReadWhole) {
  Bytes cut = senderReport(0xDEADBEEF, 0x55555555, 0);
  cut.resize(27);
  const std::pair<Bytes, uint64_t> steps[] = {
      // the datagram; source SSRC, LSR
      {kReceiverReport, 0},
      {senderReport(0xCAFEBABE, 0x12345678, 0), 0xCAFEBABE'12345678},
      {kReceiverReport, 0xCAFEBABE'12345678},
      {cut, 0xCAFEBABE'12345678},
      {rtp::test::concat({senderReport(0xBADF00D, 0xAABBCCDD, 0), kReceiverReport}),
       0x0BADF00D'AABBCCDD}};
  for (const auto& [datagram, sourceAndLsr] : steps) {
    const auto report = rtcp.process(datagram, {});
    EXPECT_EQ(uint64_t(big32(report, 8)) << 32 | big32(report, 24), sourceAndLsr)
        << ::testing::PrintToString(datagram);
  }
}

// Fraction lost covers the interval since the previous report, across a wrap too.
TEST_F(ReceiverReportTest, FiguresFollowTheStreamFromReportToReport) {
  const struct {
    ReceptionFigures figures;
    uint8_t fraction;
    uint32_t cumulative, extended;
  } steps[] = {
      {{.lastSequence = 100, .wrapCount = 0, .lostPackets = 0}, 0, 0, 100},
      {{.lastSequence = 200, .wrapCount = 0, .lostPackets = 25}, 64, 25, 200},  // 25 * 256 / 100
      {{.lastSequence = 200, .wrapCount = 0, .lostPackets = 25}, 0, 25, 200},   // nothing between
      {{.lastSequence = 65530, .wrapCount = 0, .lostPackets = 25}, 0, 25, 65530},
      {{.lastSequence = 4, .wrapCount = 1, .lostPackets = 30}, 128, 30, 65536 + 4},
  };
  for (const auto& step : steps) {
    const auto report = rtcp.process(kReceiverReport, step.figures);
    EXPECT_EQ(report[12], step.fraction) << step.extended;
    EXPECT_EQ(big32(report, 12) & 0xFFFFFF, step.cumulative) << step.extended;
    EXPECT_EQ(big32(report, 16), step.extended);
  }
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

// The chunk ends at the word after the item list's end; what is left of the 52 bytes becomes
// padding of the SDES packet (P set, counted in its last octet), its length still 4 words. No
// name gives the default one.
TEST(ReceiverReport, ShortNamesEndTheChunkAndPadTheRest) {
  platform::ManualClock clock;
  const std::pair<std::string, const char*> cases[] = {
      {"a", "A1CA0004 00000007 0101 61 00 00000000 00000008"},
      {"pc", "A1CA0004 00000007 0102 7063 00 000000 00000004"},
      {"abcde", "A1CA0004 00000007 0105 6162636465 00 00000004"},
      {"abcdef", "81CA0004 00000007 0106 616263646566 00 000000"},
      {"", "81CA0004 00000007 0109 3631302D4B656C6D6F 00"}};
  for (const auto& [name, sdes] : cases) {
    IPCameraRTCPPacket rtcp(MediaClock::kAudio, clock, name, 7);
    const auto report = rtcp.process({}, {});
    EXPECT_EQ(Bytes(report.begin() + 32, report.end()), hexBytes(sdes)) << name;
  }
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
