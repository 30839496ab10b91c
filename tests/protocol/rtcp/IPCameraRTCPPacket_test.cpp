#include "protocol/rtcp/IPCameraRTCPPacket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Datagrams.h"
#include "support/RtcpPackets.h"

namespace vexa {
namespace {

using test::big32;
using test::kReceiverReport;
using test::senderReport;

struct ReceiverReportTest : ::testing::Test {
  platform::ManualClock clock{1000};
  IPCameraRTCPPacket rtcp{MediaClock::kVideo, clock, "camera-viewer-host", 0x11223344};
};

TEST_F(ReceiverReportTest, LaysOutTheCompoundPacket) {
  std::vector<uint8_t> compound = senderReport(0xCAFEBABE, 0x12345678, 9000);
  compound.insert(compound.end(), kReceiverReport.begin(), kReceiverReport.end());
  const auto report =
      rtcp.process(compound, {.lastSequence = 500, .wrapCount = 2, .lostPackets = 0x01020304});
  ASSERT_EQ(report.size(), 52u);
  EXPECT_EQ(big32(report, 0), 0x81C90007u);            // V=2, one block, RR, length 7
  EXPECT_EQ(big32(report, 4), 0x11223344u);            // SSRC of sender
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);            // SSRC of source, from the SR
  EXPECT_EQ(big32(report, 12) & 0xFFFFFF, 0x020304u);  // cumulative lost: low 24 bits
  EXPECT_EQ(big32(report, 16), 2u * 65536u + 500u);    // extended highest sequence
  EXPECT_EQ(big32(report, 24), 0x12345678u);           // LSR: middle of the NTP timestamp
  EXPECT_EQ(big32(report, 32), 0x81CA0004u);           // SDES, one chunk, length 4
  EXPECT_EQ(big32(report, 36), 0x11223344u);           // same SSRC
  EXPECT_EQ(report[40], 1);                            // CNAME
  EXPECT_EQ(report[41], 10);                           // cut to 10 characters
  EXPECT_EQ(std::string(report.begin() + 42, report.end()), "camera-vie");
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

TEST_F(ReceiverReportTest, AReceiverReportKeepsTheLastSenderReportsLsr) {
  auto report = rtcp.process(kReceiverReport, {});
  EXPECT_EQ(big32(report, 24), 0u);  // LSR and DLSR before any sender report
  EXPECT_EQ(big32(report, 28), 0u);
  rtcp.process(senderReport(0xCAFEBABE, 0xAABBCCDD, 0), {});
  clock.advance(40);
  report = rtcp.process(kReceiverReport, {});
  EXPECT_EQ(big32(report, 24), 0xAABBCCDDu);
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);
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
// padding of the SDES packet, counted in its last octet. No name gives the default one.
TEST(ReceiverReport, ShortNamesEndTheChunkAndPadTheRest) {
  platform::ManualClock clock;
  const struct {
    std::string name, shown;
    uint8_t firstOctet;  // V=2, P, one chunk
    uint8_t lastOctet;
  } cases[] = {{"a", "a", 0xA1, 8},
               {"pc", "pc", 0xA1, 4},
               {"abcde", "abcde", 0xA1, 4},
               {"abcdef", "abcdef", 0x81, 0},
               {"", "610-Kelmo", 0x81, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IPCameraRTCPPacket rtcp(MediaClock::kAudio, clock, c.name, 7);
    const auto report = rtcp.process({}, {});
    const size_t length = c.shown.size();
    EXPECT_EQ(report[32], c.firstOctet);
    EXPECT_EQ(report[34] << 8 | report[35], 4);  // the length still covers all 20 bytes
    EXPECT_EQ(report[41], length);
    EXPECT_EQ(std::string(report.begin() + 42, report.begin() + 42 + long(length)), c.shown);
    EXPECT_EQ(report[42 + length], 0);  // the end of the item list
    EXPECT_EQ(report[51], c.lastOctet);
  }
}

TEST(ReceiverReport, ALoneSenderReportIsReadButNotOneCutShorter) {
  platform::ManualClock clock;
  IPCameraRTCPPacket rtcp(MediaClock::kVideo, clock, "pc", 7);
  auto report = rtcp.process(senderReport(0xCAFEBABE, 0x12345678, 0), {});  // 28 bytes
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
