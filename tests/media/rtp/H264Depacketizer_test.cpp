// What the shared depacketiser checks (DepacketizerContract_test.cpp), which rebuild single NAL
// units, STAP-A and FU-A byte for byte, leave to H.264: what each road resumes at after loss,
// parameter sets from the session description, and the size cap.
#include "media/rtp/H264Depacketizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/StreamConfig.h"
#include "support/RtpPackets.h"

namespace vexa::rtp {
namespace {

using test::Bytes;
using test::concat;

// Packets as a camera sends them (RFC 6184): NAL units (header with NRI and type, then body:
// slices, SPS with profile, constraints and level, PPS, access unit delimiter), FU-A fragments
// of an IDR and a non-IDR slice (indicator, header with start or end bit and type, body), and
// the parameter sets in a STAP-A.
const Bytes kIdr = {0x65, 0x88, 0x84, 0x21}, kPSlice = {0x41, 0x9A, 0x02};
const Bytes kSps = {0x67, 0x42, 0x00, 0x1F}, kPps = {0x68, 0xCE, 0x3C}, kDelimiter = {0x09, 0xF0};
const Bytes kIdrStart = {0x7C, 0x85, 0xB8, 0x01}, kIdrMiddle = {0x7C, 0x05, 0x02},
            kIdrEnd = {0x7C, 0x45, 0x03, 0x04};
const Bytes kPSliceStart = {0x5C, 0x81, 0x9B}, kPSliceEnd = {0x5C, 0x41, 0x9C};
const Bytes kParameterSets = concat({{0x78, 0x00, 0x04}, kSps, {0x00, 0x03}, kPps});
const Bytes kShort = {0, 0, 1}, kLong = {0, 0, 0, 1};

// One depacketiser and what it last completed.
struct Feed {
  explicit Feed(Road road) : depacketizer(road) {}
  PushResult push(const Bytes& payload, bool marker, bool lossBefore = false,
                  uint8_t payloadType = kInterleavedH264PayloadType) {
    return depacketizer.push({.payloadType = payloadType, .marker = marker, .payload = payload},
                             lossBefore);
  }
  Bytes unit() const {
    return Bytes(depacketizer.completedUnit().begin(), depacketizer.completedUnit().end());
  }
  H264Depacketizer depacketizer;
};

constexpr auto kTaken = PushResult::kTaken;
constexpr auto kIgnored = PushResult::kIgnored;
constexpr auto kComplete = PushResult::kComplete;
constexpr bool kMarker = true, kLoss = true;

struct Push {
  Bytes payload;
  bool marker;
  PushResult result;
  bool lossBefore = false;
};

// Packets on one road, what each push returns, and the unit last completed. The interleaved
// road is settled first (it starts waiting for a key unit) unless `fresh`.
struct Script {
  const char* name;
  Road road;
  std::vector<Push> pushes;
  Bytes unit;
  bool fresh = false;
};

void run(const Script& script) {
  SCOPED_TRACE(script.name);
  Feed feed(script.road);
  if (script.road == Road::Interleaved && !script.fresh) feed.push(kIdr, kMarker);
  for (size_t i = 0; i < script.pushes.size(); ++i) {
    const Push& p = script.pushes[i];
    EXPECT_EQ(feed.push(p.payload, p.marker, p.lossBefore), p.result) << "push " << i;
  }
  EXPECT_EQ(feed.unit(), script.unit);
}

// clang-format off
TEST(H264Depacketizer, UdpResumesOnlyAtAUnitThatBeginsWithAnIdrSliceOrSps) {
  const Script scripts[] = {
      {"fresh", Road::Udp,
       {{kPSliceStart, false, kIgnored}, {kPSliceEnd, kMarker, kIgnored},
        {kPSlice, kMarker, kIgnored}, {kIdrStart, false, kTaken}, {kIdrEnd, kMarker, kComplete}},
       {0, 0, 1, 0x65, 0xB8, 0x01, 0x03, 0x04}},
      {"after loss in a P unit", Road::Udp,
       {{kIdr, kMarker, kComplete}, {kPSliceStart, false, kTaken},
        {kPSliceEnd, kMarker, kIgnored, kLoss}, {kPSlice, kMarker, kIgnored},
        {kIdr, kMarker, kComplete}, {kPSlice, kMarker, kComplete}},
       concat({kShort, kPSlice})},
      // Encoders that open every unit with a delimiter: the unit's slices decide.
      {"delimited units", Road::Udp,
       {{kDelimiter, false, kIgnored}, {kPSlice, kMarker, kIgnored},
        {kDelimiter, false, kIgnored}, {kSps, false, kTaken}, {kIdr, kMarker, kComplete}},
       concat({kShort, kSps, kShort, kIdr})},
      {"after loss in an IDR unit", Road::Udp,
       {{kIdr, kMarker, kComplete}, {kIdrStart, false, kTaken},
        {kIdrEnd, kMarker, kIgnored, kLoss}, {kIdr, kMarker, kComplete}},
       concat({kShort, kIdr})},
  };
  for (const Script& script : scripts) run(script);
  for (const auto& [resume, rebuilt] : std::vector<std::pair<Bytes, Bytes>>{
           {kSps, concat({kShort, kSps})},
           {kParameterSets, concat({kShort, kSps, kShort, kPps})}}) {
    run({"at an SPS, direct or aggregated", Road::Udp,
         {{kIdr, kMarker, kComplete}, {kPSlice, kMarker, kIgnored, kLoss}, {resume, false, kTaken},
          {kIdr, kMarker, kComplete}},
         concat({rebuilt, kShort, kIdr})});
  }
}

TEST(H264Depacketizer, InterleavedResumesAfterAGapAtASlicePieceOrSpsElseAtTheMarker) {
  const Bytes ppsPiece = {0x7C, 0x08, 0xCE};  // FU-A piece of a PPS
  std::vector<Script> scripts = {
      {"fresh: taken from the first packet, the opening key unit kept", Road::Interleaved,
       {{kSps, false, kTaken}, {kIdr, kMarker, kComplete}, {kPSlice, kMarker, kComplete}},
       concat({kLong, kPSlice}), true},
      {"fresh mid-unit: dropped to the marker, then up to the first key unit",
       Road::Interleaved,
       {{kIdrMiddle, false, kIgnored}, {kIdrEnd, kMarker, kIgnored},
        {kPSlice, kMarker, kIgnored}, {kIdr, kMarker, kComplete}},
       concat({kLong, kIdr}), true},
      {"gap packet with the marker", Road::Interleaved,
       {{kIdrStart, false, kTaken}, {kPSlice, kMarker, kComplete, kLoss}},
       concat({kLong, kPSlice})},
      // A 13-byte packet: NAL header type 10 (end of sequence).
      {"packets under 14 bytes ignored, their marker too", Road::Interleaved,
       {{kIdr, false, kTaken}, {{0x0A}, kMarker, kIgnored}, {kPSlice, kMarker, kComplete}},
       concat({kLong, kIdr, kLong, kPSlice})},
  };
  // What came before the gap is gone; assembly goes on from the gap packet.
  for (const auto& [gapPacket, rebuilt] : std::vector<std::pair<Bytes, Bytes>>{
           {kSps, concat({kLong, kSps})},
           {kIdrMiddle, {0, 0, 0, 1, 0x65, 0x02}},
           {kPSliceEnd, {0, 0, 0, 1, 0x41, 0x9C}},
           {kParameterSets, concat({kLong, kSps, kLong, kPps})}}) {
    scripts.push_back({"resumes at the gap packet", Road::Interleaved,
                       {{kIdrStart, false, kTaken}, {gapPacket, false, kTaken, kLoss},
                        {kPSlice, kMarker, kComplete}},
                       concat({rebuilt, kLong, kPSlice})});
  }
  for (const Bytes& gapPacket : {kPps, kIdr, kPSlice, ppsPiece}) {
    scripts.push_back({"discards to the marker", Road::Interleaved,
                       {{gapPacket, false, kIgnored, kLoss}, {kSps, false, kIgnored},
                        {kIdr, kMarker, kIgnored}, {kPSlice, kMarker, kComplete}},
                       concat({kLong, kPSlice})});
  }
  for (const Script& script : scripts) run(script);
  // Only payload type 99 may resume early.
  Feed feed(Road::Interleaved);
  feed.push(kIdr, kMarker);
  EXPECT_EQ(feed.push(kSps, false, kLoss, 96), kIgnored);
  EXPECT_EQ(feed.push(kIdr, kMarker, false, 96), kIgnored);
  EXPECT_EQ(feed.push(kIdr, kMarker, false, 96), kComplete);
}
// clang-format on

TEST(H264Depacketizer, PutsTheDescriptionsParameterSetsBeforeTheFirstUnitOnly) {
  StreamConfig config;
  std::copy(kSps.begin(), kSps.end(), config.sps.begin());
  std::copy(kPps.begin(), kPps.end(), config.pps.begin());
  config.spsLength = 4;
  config.ppsLength = 3;
  for (Road road : {Road::Udp, Road::Interleaved}) {
    Feed feed(road);
    feed.depacketizer.configure(config);
    const Bytes& code = road == Road::Udp ? kShort : kLong;
    ASSERT_EQ(feed.push(kIdr, kMarker), kComplete);
    EXPECT_EQ(feed.unit(), concat({code, kSps, code, kPps, code, kIdr}));
    ASSERT_EQ(feed.push(kPSlice, kMarker), kComplete);
    EXPECT_EQ(feed.unit(), concat({code, kPSlice}));
  }
  // Lengths beyond the store are cut to it.
  config.spsLength = 100000;
  Feed feed(Road::Udp);
  feed.depacketizer.configure(config);
  feed.push(kIdr, kMarker);
  EXPECT_EQ(feed.unit().size(), 3 * kShort.size() + kParameterSetSize + kPps.size() + kIdr.size());
}

TEST(H264Depacketizer, DropsAUnitLargerThanTheDecodersInputAreaAndTakesTheNext) {
  constexpr size_t kPiece = 1400;
  Bytes start = kIdrStart, middle = kIdrMiddle;
  start.resize(2 + kPiece, 0xAB);
  middle.resize(2 + kPiece, 0xCD);
  Feed feed(Road::Udp);
  ASSERT_EQ(feed.push(start, false), kTaken);
  for (size_t sent = kPiece; sent <= kMaxAccessUnitSize; sent += kPiece)
    ASSERT_EQ(feed.push(middle, false), kTaken);
  EXPECT_EQ(feed.push(kIdrEnd, kMarker), kIgnored);
  EXPECT_EQ(feed.depacketizer.droppedUnits(), 1u);
  EXPECT_EQ(feed.push(kIdr, kMarker), kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
  // A unit of exactly the input area's size still goes through.
  Bytes whole = {0x7C, 0xC5};  // FU indicator: NRI 3, type 28; FU header: start, end, type 5
  whole.resize(2 + kMaxAccessUnitSize - kShort.size() - 1, 0x5A);
  ASSERT_EQ(feed.push(whole, kMarker), kComplete);
  EXPECT_EQ(feed.unit().size(), kMaxAccessUnitSize);
}

}  // namespace
}  // namespace vexa::rtp
