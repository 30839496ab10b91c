// RTP intake: the packet reader and the sequence accounting of both roads.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "media/rtp/RtpPacket.h"
#include "media/rtp/RtpSequenceTracker.h"
#include "support/RtpPackets.h"

namespace vexa::rtp {
namespace {

using Bytes = std::vector<uint8_t>;
using test::hexBytes;

TEST(RtpPacket, ReadsTheFixedHeaderBigEndian) {
  // Version 2; marker, type 99; sequence; timestamp; SSRC; payload.
  const Bytes bytes = hexBytes("80E3ABCD 01020304 F1F2F3F4 6588");
  const std::optional<RtpPacket> packet = parseRtpPacket(bytes);
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(std::tuple(packet->marker, int(packet->payloadType), packet->sequence,
                       packet->timestamp, packet->ssrc),
            std::tuple(true, 99, 0xABCD, 0x01020304u, 0xF1F2F3F4u));
  EXPECT_EQ(Bytes(packet->payload.begin(), packet->payload.end()), (Bytes{0x65, 0x88}));
}

// A fixed header (type 99, sequence 7, SSRC 1) with the given first byte (version, P, X, CSRC
// count), then the rest.
Bytes afterHeader(uint8_t first, std::string_view rest) {
  return test::concat({{first}, hexBytes("630007 00000000 00000001"), hexBytes(rest)});
}

TEST(RtpPacket, FindsThePayloadBehindCsrcsAndExtensionAndBeforePadding) {
  const struct {
    const char* name;
    Bytes payload, bytes;
  } cases[] = {
      {"CSRC list", {0x41, 0x9A}, afterHeader(0x82, "11111111 22222222 419A")},
      // Profile, length 0 words.
      {"extension of length 0", {0x65, 0x01}, afterHeader(0x90, "BEDE0000 6501")},
      // CSRC; profile, length 2 words; two words.
      {"CSRC, then extension", {0x67}, afterHeader(0x91, "11111111 10000002 AAAAAAAA BBBBBBBB 67")},
      // The padding's last byte counts all three.
      {"padding", {0x65, 0x01, 0x02}, afterHeader(0xA0, "650102 000003")},
  };
  for (const auto& c : cases) {
    const std::optional<RtpPacket> packet = parseRtpPacket(c.bytes);
    ASSERT_TRUE(packet.has_value()) << c.name;
    EXPECT_EQ(Bytes(packet->payload.begin(), packet->payload.end()), c.payload) << c.name;
  }
}

TEST(RtpPacket, RefusesMalformedAndTruncatedPackets) {
  // Empty, version 1, and padding counting 3 bytes where 2 follow the header.
  for (const Bytes& bytes : {Bytes{}, afterHeader(0x40, "65"), afterHeader(0xA0, "6503")})
    EXPECT_FALSE(parseRtpPacket(bytes)) << ::testing::PrintToString(bytes);
  // Every cut of a packet with a CSRC and an extension, inside either or their headers.
  const Bytes whole = afterHeader(0x91, "11111111 10000001 AAAAAAAA");
  EXPECT_TRUE(parseRtpPacket(whole));
  for (size_t length = 0; length < whole.size(); ++length) {
    EXPECT_FALSE(parseRtpPacket(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(length))))
        << length;
  }
}

constexpr uint32_t kSsrc = 0x1234ABCD;
constexpr uint32_t kOtherSsrc = 0x55555555;
constexpr uint32_t kStale = RtpSequenceTracker::kStale;
constexpr uint32_t kGap = RtpSequenceTracker::kGap;
constexpr uint32_t kMarker = RtpSequenceTracker::kMarker;
constexpr uint32_t kForeign = RtpSequenceTracker::kForeignSsrc;

// Each stream starts a new tracker; every packet's flags, and the losses and wraps counted by
// then. A packet is marked when its expected flags hold kMarker.
TEST(RtpSequenceTracker, AccountsForEveryStreamOnItsRoads) {
  struct Step {
    uint16_t sequence;
    uint32_t flags;
    uint32_t lost = 0;
    int wraps = 0;
    uint32_t ssrc = kSsrc;
  };
  const std::vector<Road> both = {Road::Udp, Road::Interleaved};
  const struct {
    const char* name;
    std::vector<Road> roads;
    std::vector<Step> steps;
  } streams[] = {
      {"consecutive", both, {{10, 0}, {11, 0}, {12, kMarker}}},
      {"wrap at 65535", both, {{65534, 0}, {65535, 0}, {0, 0, 0, 1}}},
      {"65530 then 5", both, {{65530, 0}, {5, kGap, 10, 1}}},
      {"numbers skipped", both, {{100, 0}, {104, kGap | kMarker, 3}, {105, 0, 3}}},
      // The stream's own next packet is still the next one.
      {"foreign SSRC", both, {{100, 0}, {101, 0}, {102, kForeign, 0, 0, kOtherSsrc}, {102, 0}}},
      // A source heard once gives way to the next at once: the stray packet came first.
      {"stray packet first", both, {{7, 0, 0, 0, kOtherSsrc}, {100, kGap}, {101, 0}}},
      // Interleaved: an old or repeated packet keeps the last one's place.
      {"stale", {Road::Interleaved}, {{200, 0}, {200, kStale}, {150, kStale | kMarker}, {201, 0}}},
      // UDP: it is taken as the last one, and marked as damage.
      {"stale", {Road::Udp}, {{200, 0}, {150, kGap | kStale}, {151, 0}, {151, kGap | kStale}}},
      // From 60000 UDP takes a wrap up to 4464 (60000 + 10000 modulo 65536); interleaved up to
      // 10000 whatever the last number.
      {"far wrap", {Road::Udp}, {{60000, 0}, {5000, kGap | kStale}}},
      {"far wrap", {Road::Interleaved}, {{60000, 0}, {5000, kGap, 5000 + 65535 - 60000, 1}}},
      {"below the wrap zone", {Road::Interleaved}, {{55535, 0}, {3, kStale}}},
  };
  for (const auto& stream : streams) {
    for (Road road : stream.roads) {
      RtpSequenceTracker tracker;
      for (const Step& step : stream.steps) {
        SCOPED_TRACE(::testing::Message()
                     << stream.name << (road == Road::Udp ? " on UDP" : " interleaved")
                     << ", packet " << step.sequence);
        const RtpPacket packet = {
            .marker = (step.flags & kMarker) != 0, .sequence = step.sequence, .ssrc = step.ssrc};
        EXPECT_EQ(tracker.track(packet, road), step.flags);
        EXPECT_EQ(tracker.lostPackets(), step.lost);
        EXPECT_EQ(tracker.wrapCount(), step.wraps);
      }
    }
  }
}

// A source that stops, as a restarting camera's does, must not shut the next one out: it takes
// over after a run of its packets, or once the old one has been silent a second while it streams.
TEST(RtpSequenceTracker, AnotherSourceTakesOverAfterARunOrASilence) {
  for (Road road : {Road::Udp, Road::Interleaved}) {
    platform::ManualClock clock;
    RtpSequenceTracker byRun(clock), bySilence(clock);
    for (uint16_t stale : {7, 8}) {
      byRun.track({.sequence = stale, .ssrc = kOtherSsrc}, road);
      bySilence.track({.sequence = stale, .ssrc = kOtherSsrc}, road);
    }
    uint16_t sequence = 1000;
    for (uint32_t i = 1; i < RtpSequenceTracker::kPacketsToTakeOver; ++i) {
      ASSERT_EQ(byRun.track({.sequence = sequence++, .ssrc = kSsrc}, road), kForeign);
      // The old source speaking again breaks the run.
      if (i == 10) EXPECT_EQ(bySilence.track({.sequence = 9, .ssrc = kOtherSsrc}, road), 0u);
      ASSERT_EQ(bySilence.track({.sequence = sequence, .ssrc = kSsrc}, road), kForeign);
    }
    EXPECT_EQ(byRun.track({.sequence = sequence++, .ssrc = kSsrc}, road), kGap);
    EXPECT_EQ(byRun.track({.sequence = sequence, .ssrc = kSsrc}, road), 0u);
    EXPECT_EQ(std::tuple(byRun.ssrc(), byRun.sourceSwitches(), byRun.lostPackets()),
              std::tuple(kSsrc, 1u, 0u));
    clock.advance(RtpSequenceTracker::kSilenceToTakeOverMs);
    EXPECT_EQ(bySilence.track({.sequence = sequence, .ssrc = kSsrc}, road), kGap);
    EXPECT_EQ(bySilence.sourceSwitches(), 1u);

    // Silence is the latched source's: after it, the first packet of any source takes over.
    RtpSequenceTracker quiet(clock);
    for (uint16_t heard : {1, 2}) quiet.track({.sequence = heard, .ssrc = kSsrc}, road);
    EXPECT_EQ(quiet.track({.sequence = 50, .ssrc = kOtherSsrc}, road), kForeign);
    clock.advance(RtpSequenceTracker::kSilenceToTakeOverMs);
    EXPECT_EQ(quiet.track({.sequence = 900, .ssrc = kOtherSsrc + 1}, road), kGap);
  }
}

}  // namespace
}  // namespace vexa::rtp
