#include "media/rtp/RtpSequenceTracker.h"

#include <gtest/gtest.h>

namespace vexa::rtp {
namespace {

constexpr uint32_t kSsrc = 0x1234ABCD;
constexpr uint32_t kOtherSsrc = 0x55555555;
constexpr uint32_t kStale = RtpSequenceTracker::kStale;
constexpr uint32_t kGap = RtpSequenceTracker::kGap;
constexpr uint32_t kMarker = RtpSequenceTracker::kMarker;
constexpr uint32_t kForeign = RtpSequenceTracker::kForeignSsrc;

RtpPacket packet(uint16_t sequence, bool marker = false, uint32_t ssrc = kSsrc,
                 uint32_t timestamp = 0) {
  RtpPacket result;
  result.sequence = sequence;
  result.marker = marker;
  result.ssrc = ssrc;
  result.timestamp = timestamp;
  return result;
}

// What both roads agree on.
class RtpSequenceTrackerOnEitherRoad : public ::testing::TestWithParam<Road> {
 protected:
  uint32_t track(uint16_t sequence, bool marker = false, uint32_t ssrc = kSsrc,
                 uint32_t timestamp = 0) {
    return tracker.track(packet(sequence, marker, ssrc, timestamp), GetParam());
  }
  RtpSequenceTracker tracker;
};

TEST_P(RtpSequenceTrackerOnEitherRoad, LatchesTheFirstPacket) {
  EXPECT_TRUE(tracker.firstPacket());
  EXPECT_EQ(track(4000, true, kSsrc, 90000), kMarker);
  EXPECT_FALSE(tracker.firstPacket());
  EXPECT_EQ(tracker.ssrc(), kSsrc);
  EXPECT_EQ(tracker.lastSequence(), 4000);
  EXPECT_EQ(tracker.lastTimestamp(), 90000u);
  EXPECT_EQ(tracker.lostPackets(), 0u);
}

TEST_P(RtpSequenceTrackerOnEitherRoad, CountsConsecutiveNumbersAsNoLoss) {
  track(10);
  EXPECT_EQ(track(11), 0u);
  EXPECT_EQ(track(12, true, kSsrc, 3000), kMarker);
  EXPECT_EQ(tracker.lastSequence(), 12);
  EXPECT_EQ(tracker.lastTimestamp(), 3000u);
  EXPECT_EQ(tracker.lostPackets(), 0u);
}

TEST_P(RtpSequenceTrackerOnEitherRoad, Wraps65535To0WithoutLoss) {
  track(65534);
  EXPECT_EQ(track(65535), 0u);
  EXPECT_EQ(track(0), 0u);
  EXPECT_EQ(tracker.wrapCount(), 1);
  EXPECT_EQ(tracker.lostPackets(), 0u);
}

TEST_P(RtpSequenceTrackerOnEitherRoad, CountsTenLostAcrossTheWrapFrom65530To5) {
  track(65530);
  EXPECT_EQ(track(5), kGap);
  EXPECT_EQ(tracker.lostPackets(), 10u);
  EXPECT_EQ(tracker.wrapCount(), 1);
  EXPECT_EQ(tracker.lastSequence(), 5);
}

TEST_P(RtpSequenceTrackerOnEitherRoad, CountsTheNumbersSkippedForward) {
  track(100);
  EXPECT_EQ(track(104, true), kGap | kMarker);
  EXPECT_EQ(tracker.lostPackets(), 3u);
  EXPECT_EQ(track(105), 0u);
  EXPECT_EQ(tracker.lostPackets(), 3u);
}

TEST_P(RtpSequenceTrackerOnEitherRoad, IgnoresAForeignSourceEvenInSequence) {
  track(100, false, kSsrc, 1000);
  EXPECT_EQ(track(101, true, kOtherSsrc, 2000), kForeign);
  EXPECT_EQ(tracker.lastSequence(), 100);
  EXPECT_EQ(tracker.lastTimestamp(), 1000u);
  EXPECT_EQ(tracker.ssrc(), kSsrc);
  // The stream's own next packet is still the next one.
  EXPECT_EQ(track(101), 0u);
}

INSTANTIATE_TEST_SUITE_P(Roads, RtpSequenceTrackerOnEitherRoad,
                         ::testing::Values(Road::Udp, Road::Interleaved),
                         [](const ::testing::TestParamInfo<Road>& info) {
                           return info.param == Road::Udp ? "Udp" : "Interleaved";
                         });

TEST(RtpSequenceTracker, InterleavedMarksAnOldOrRepeatedPacketStaleAndKeepsItsPlace) {
  RtpSequenceTracker tracker;
  tracker.trackInterleaved(packet(200));
  EXPECT_EQ(tracker.trackInterleaved(packet(200)), kStale);
  EXPECT_EQ(tracker.trackInterleaved(packet(150, true)), kStale | kMarker);
  EXPECT_EQ(tracker.lastSequence(), 200);
  EXPECT_EQ(tracker.lostPackets(), 0u);
  EXPECT_EQ(tracker.trackInterleaved(packet(201)), 0u);
}

TEST(RtpSequenceTracker, UdpTakesAnOldOrRepeatedPacketAsTheLastAndMarksDamage) {
  RtpSequenceTracker tracker;
  tracker.trackUdp(packet(200));
  EXPECT_EQ(tracker.trackUdp(packet(150)), kGap | kStale);
  EXPECT_EQ(tracker.lastSequence(), 150);
  EXPECT_EQ(tracker.lostPackets(), 0u);
  EXPECT_EQ(tracker.trackUdp(packet(151)), 0u);
  EXPECT_EQ(tracker.trackUdp(packet(151)), kGap | kStale);
  EXPECT_EQ(tracker.lostPackets(), 0u);
}

TEST(RtpSequenceTracker, RoadsDisagreeOnHowFarPastZeroAWrapMayLand) {
  // From 60000 the UDP road accepts a wrap up to 4464 (60000 + 10000 modulo 65536); the
  // interleaved road up to 10000 whatever the last number.
  RtpSequenceTracker udp, interleaved;
  udp.trackUdp(packet(60000));
  interleaved.trackInterleaved(packet(60000));
  EXPECT_EQ(udp.trackUdp(packet(5000)), kGap | kStale);
  EXPECT_EQ(interleaved.trackInterleaved(packet(5000)), kGap);
  EXPECT_EQ(udp.wrapCount(), 0);
  EXPECT_EQ(interleaved.wrapCount(), 1);
  EXPECT_EQ(interleaved.lostPackets(), 5000u + 65535u - 60000u);
}

TEST(RtpSequenceTracker, LowNumbersBelowTheWrapZoneAreNotAWrap) {
  RtpSequenceTracker tracker;
  tracker.trackInterleaved(packet(55535));
  EXPECT_EQ(tracker.trackInterleaved(packet(3)), kStale);
  EXPECT_EQ(tracker.wrapCount(), 0);
}

}  // namespace
}  // namespace vexa::rtp
