#include "camera/Rtcp.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa::camera {
namespace {

TEST(SenderReport, IsASenderReportAndACnameInWholeWords) {
  const SenderInfo sender{0x01020304, 0x1122334455667788ULL, 0xAABBCCDD, 7, 1000};
  const std::vector<uint8_t> expected = {
      0x80, 200,  0x00, 0x06,  // V=2, no report blocks, SR, 6 words
      0x01, 0x02, 0x03, 0x04,  // SSRC
      0x11, 0x22, 0x33, 0x44,  // NTP seconds
      0x55, 0x66, 0x77, 0x88,  // NTP fraction
      0xAA, 0xBB, 0xCC, 0xDD,  // RTP timestamp
      0x00, 0x00, 0x00, 0x07,  // packets
      0x00, 0x00, 0x03, 0xE8,  // octets
      0x81, 202,  0x00, 0x03,  // V=2, one chunk, SDES, 3 words
      0x01, 0x02, 0x03, 0x04,  // SSRC
      0x01, 0x03, 'c',  'a',   // CNAME, 3 bytes
      'm',  0x00, 0x00, 0x00,  // end item and padding
  };
  EXPECT_EQ(buildSenderReport(sender, "cam"), expected);
  // A name that fills its words exactly still gets an end item, in a word of its own.
  EXPECT_EQ(buildSenderReport(sender, "ab").size(), 28u + 16u);
  EXPECT_EQ(buildSenderReport(sender, "abc").size(), 28u + 16u);
}

TEST(ReceiverReportReader, ReadsTheFirstBlockOfACompoundPacket) {
  const std::vector<uint8_t> compound = {
      0x81, 201,  0x00, 0x07,  // V=2 RC=1, RR, 7 words
      0x0A, 0x0B, 0x0C, 0x0D,  // reporter
      0x01, 0x02, 0x03, 0x04,  // source
      0x40, 0x00, 0x01, 0x02,  // fraction lost 64, cumulative 258
      0x00, 0x02, 0xFF, 0xFE,  // extended highest sequence
      0x00, 0x00, 0x00, 0x21,  // jitter
      0x12, 0x34, 0x56, 0x78,  // LSR
      0x00, 0x01, 0x00, 0x00,  // DLSR
      0x81, 202,  0x00, 0x01,  // SDES, 1 word
      0x0A, 0x0B, 0x0C, 0x0D,  // SSRC, no items
  };
  const auto report = findReceiverReport(compound);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->reporterSsrc, 0x0A0B0C0Du);
  ASSERT_TRUE(report->hasBlock);
  EXPECT_EQ(report->sourceSsrc, 0x01020304u);
  EXPECT_EQ(report->fractionLost, 64);
  EXPECT_EQ(report->cumulativeLost, 258u);
  EXPECT_EQ(report->highestSequence, 0x2FFFEu);
  EXPECT_EQ(report->jitter, 0x21u);
  EXPECT_EQ(report->lastSenderReport, 0x12345678u);
  EXPECT_EQ(report->delaySinceLastSenderReport, 0x10000u);
}

TEST(ReceiverReportReader, FindsAReportBehindASenderReportAndTakesOneWithoutBlocks) {
  std::vector<uint8_t> compound = buildSenderReport({1, 2, 3, 4, 5}, "x");
  compound.insert(compound.end(), {0x80, 201, 0x00, 0x01, 0xDE, 0xAD, 0xBE, 0xEF});
  const auto report = findReceiverReport(compound);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->reporterSsrc, 0xDEADBEEFu);
  EXPECT_FALSE(report->hasBlock);
}

TEST(ReceiverReportReader, RefusesMalformedPackets) {
  EXPECT_FALSE(findReceiverReport(std::vector<uint8_t>{}));
  // Length beyond the end.
  EXPECT_FALSE(findReceiverReport(std::vector<uint8_t>{0x81, 201, 0x00, 0x07, 1, 2, 3, 4}));
  // Version 1.
  EXPECT_FALSE(findReceiverReport(std::vector<uint8_t>{0x41, 201, 0x00, 0x01, 1, 2, 3, 4}));
  // Only a sender report.
  EXPECT_FALSE(findReceiverReport(buildSenderReport({1, 2, 3, 4, 5}, "x")));
  // A block announced but cut off is read as no block.
  const auto report =
      findReceiverReport(std::vector<uint8_t>{0x81, 201, 0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_TRUE(report);
  EXPECT_FALSE(report->hasBlock);
}

TEST(NtpTime, CountsFromNineteenHundredWithAFraction) {
  const auto epochPlusHalf = std::chrono::system_clock::time_point(std::chrono::milliseconds(500));
  EXPECT_EQ(toNtpTime(epochPlusHalf), (2208988800ULL << 32) | 0x80000000ULL);
}

}  // namespace
}  // namespace vexa::camera
