#include "media/rtp/H264Depacketizer.h"

#include <gtest/gtest.h>

#include <vector>

#include "session/StreamConfig.h"

namespace vexa::rtp {
namespace {

using Bytes = std::vector<uint8_t>;

// Packets as a camera sends them (RFC 6184), a field per comment.
const Bytes kIdr = {
    0x65,              // NAL header: NRI 3, type 5 (IDR slice)
    0x88, 0x84, 0x21,  // slice data
};
const Bytes kPSlice = {
    0x41,        // NAL header: NRI 2, type 1 (non-IDR slice)
    0x9A, 0x02,  // slice data
};
const Bytes kSps = {
    0x67,              // NAL header: NRI 3, type 7 (sequence parameter set)
    0x42, 0x00, 0x1F,  // profile, constraints, level
};
const Bytes kPps = {
    0x68,        // NAL header: NRI 3, type 8 (picture parameter set)
    0xCE, 0x3C,  // parameter set data
};
const Bytes kIdrStart = {
    0x7C,        // FU indicator: NRI 3, type 28 (FU-A)
    0x85,        // FU header: start, type 5
    0xB8, 0x01,  // first piece of the slice
};
const Bytes kIdrMiddle = {
    0x7C,  // FU indicator: NRI 3, type 28
    0x05,  // FU header: type 5
    0x02,  // middle piece
};
const Bytes kIdrEnd = {
    0x7C,        // FU indicator: NRI 3, type 28
    0x45,        // FU header: end, type 5
    0x03, 0x04,  // last piece
};
const Bytes kPSliceStart = {
    0x5C,  // FU indicator: NRI 2, type 28 (FU-A)
    0x81,  // FU header: start, type 1
    0x9B,  // first piece
};
const Bytes kPSliceEnd = {
    0x5C,  // FU indicator: NRI 2, type 28
    0x41,  // FU header: end, type 1
    0x9C,  // last piece
};
const Bytes kParameterSetsAggregated = {
    0x78,                    // STAP-A indicator: NRI 3, type 24
    0x00, 0x04,              // NAL unit size 4
    0x67, 0x42, 0x00, 0x1F,  // SPS
    0x00, 0x03,              // NAL unit size 3
    0x68, 0xCE, 0x3C,        // PPS
};

constexpr uint8_t kOtherPayloadType = 96;

// One depacketiser and what it last completed.
class Feed {
 public:
  explicit Feed(Road road) : depacketizer(road) {}

  PushResult push(const Bytes& payload, bool marker, bool lossBefore = false,
                  uint8_t payloadType = kInterleavedH264PayloadType) {
    RtpPacket packet;
    packet.payloadType = payloadType;
    packet.marker = marker;
    packet.payload = payload;
    return depacketizer.push(packet, lossBefore);
  }
  Bytes unit() const {
    const std::span<const uint8_t> unit = depacketizer.completedUnit();
    return Bytes(unit.begin(), unit.end());
  }
  // Ends the interleaved road's discarding at creation with a unit of its own.
  void settle() { push(kIdr, true); }

  H264Depacketizer depacketizer;
};

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kShort = {0, 0, 1};
const Bytes kLong = {0, 0, 0, 1};

// Rebuilding NAL units

TEST(H264Depacketizer, PutsAThreeByteStartCodeBeforeASingleNalUnitOnUdp) {
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
}

TEST(H264Depacketizer, PutsAFourByteStartCodeBeforeEachNalUnitInterleaved) {
  Feed feed(Road::Interleaved);
  feed.settle();
  EXPECT_EQ(feed.push(kSps, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kLong, kSps, kLong, kIdr}));
}

TEST(H264Depacketizer, RebuildsAFragmentedUnitWithItsHeaderFromNriAndFuType) {
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(kIdrStart, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdrMiddle, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdrEnd, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), (Bytes{0, 0, 1, 0x65, 0xB8, 0x01, 0x02, 0x03, 0x04}));
}

TEST(H264Depacketizer, LeavesTheForbiddenBitOutOfTheRebuiltHeader) {
  const Bytes forbidden = {
      0xFC,  // FU indicator: F set, NRI 3, type 28
      0xC5,  // FU header: start, end, type 5
      0x11,  // the whole slice data
  };
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(forbidden, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), (Bytes{0, 0, 1, 0x65, 0x11}));
}

TEST(H264Depacketizer, InterleavedFragmentWhoseStartWasLostStillGetsAStartCode) {
  Feed feed(Road::Interleaved);
  feed.settle();
  EXPECT_EQ(feed.push(kIdrMiddle, false, true), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdrEnd, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), (Bytes{0, 0, 0, 1, 0x65, 0x02, 0x03, 0x04}));
}

TEST(H264Depacketizer, UnpacksAnAggregationPacketIntoItsNalUnits) {
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(kParameterSetsAggregated, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kSps, kShort, kPps, kShort, kIdr}));
}

TEST(H264Depacketizer, DropsAnAggregationPacketWhoseSizesOverrunIt) {
  const Bytes overrun = {
      0x78,                    // STAP-A indicator: NRI 3, type 24
      0x00, 0x04,              // NAL unit size 4
      0x67, 0x42, 0x00, 0x1F,  // SPS
      0x00, 0x09,              // NAL unit size 9...
      0x68, 0xCE,              // ...but two bytes left
  };
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(kIdr, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(overrun, false), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
  // Nothing of the bad packet, not even the SPS before the bad size.
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr, kShort, kPSlice}));
  EXPECT_EQ(feed.depacketizer.droppedPackets(), 1u);
}

class H264UnsupportedType : public ::testing::TestWithParam<uint8_t> {};

// Interleaved-mode aggregation (25 to 27), FU-B (29) and reserved types: if read as FU-A they
// would add a start code and a made-up NAL unit.
TEST_P(H264UnsupportedType, IsDroppedRatherThanReadAsAFragment) {
  Bytes odd = {
      0x60,        // NRI 3, the type under test set below
      0x85,        // what an FU-A would take as its header: start, type 5
      0x00, 0x10,  // what a STAP-B or MTAP would take as a number or size
      0x22,        // the rest
  };
  odd[0] |= GetParam();
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(kIdr, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(odd, false), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr, kShort, kPSlice}));
  EXPECT_EQ(feed.depacketizer.droppedPackets(), 1u);
}

INSTANTIATE_TEST_SUITE_P(H264Depacketizer, H264UnsupportedType,
                         ::testing::Values(0, kNalStapB, kNalMtap16, kNalMtap24, kNalFuB, 30, 31));

TEST(H264Depacketizer, EndsAUnitAtTheMarkerEvenWhenTheMarkedPacketIsBad) {
  const Bytes fragmentHeaderOnly = {0x7C};  // FU indicator without its FU header
  Feed feed(Road::Udp);
  feed.push(kIdr, false);
  EXPECT_EQ(feed.push(fragmentHeaderOnly, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kPSlice}));
}

// Resynchronisation on the UDP road

TEST(H264Depacketizer, UdpStartsOnlyWithAUnitItCanDecode) {
  Feed feed(Road::Udp);
  EXPECT_EQ(feed.push(kPSliceStart, false), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSliceEnd, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdrStart, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdrEnd, true), PushResult::kComplete);
}

TEST(H264Depacketizer, UdpDropsPSlicesAfterLossUntilAUnitBeginsWithAnIdrSlice) {
  Feed feed(Road::Udp);
  feed.push(kIdr, true);
  feed.push(kPSliceStart, false);
  // The end of the unit arrives after a gap: the unit is lost...
  EXPECT_EQ(feed.push(kPSliceEnd, true, true), PushResult::kIgnored);
  // ...and so is every unit up to the next IDR slice.
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSliceStart, false), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSliceEnd, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdrStart, false), PushResult::kTaken);
  EXPECT_EQ(feed.push(kIdrEnd, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), (Bytes{0, 0, 1, 0x65, 0xB8, 0x01, 0x03, 0x04}));
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
}

TEST(H264Depacketizer, UdpRestartsAtParameterSetsDirectOrAggregated) {
  for (const Bytes& first : {kSps, kParameterSetsAggregated}) {
    Feed feed(Road::Udp);
    feed.push(kIdr, true);
    EXPECT_EQ(feed.push(kPSlice, true, true), PushResult::kIgnored);
    EXPECT_EQ(feed.push(first, false), PushResult::kTaken);
    EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  }
}

TEST(H264Depacketizer, UdpDropsTheUnitALossFallsInEvenIfItBeganWithAnIdrSlice) {
  Feed feed(Road::Udp);
  feed.push(kIdr, true);
  feed.push(kIdrStart, false);
  EXPECT_EQ(feed.push(kIdrEnd, true, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
}

// Resynchronisation on the interleaved road

TEST(H264Depacketizer, InterleavedDropsEverythingUpToTheFirstMarker) {
  Feed feed(Road::Interleaved);
  EXPECT_EQ(feed.push(kSps, false), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
}

TEST(H264Depacketizer, InterleavedResumesAfterAGapAtASlicePieceOrParameterSet) {
  struct Case {
    Bytes gapPacket;
    Bytes rebuilt;
  };
  const Case cases[] = {
      {kSps, concat({kLong, kSps})},
      {kIdrMiddle, {0, 0, 0, 1, 0x65, 0x02}},
      {kPSliceEnd, {0, 0, 0, 1, 0x41, 0x9C}},
      {kParameterSetsAggregated, concat({kLong, kSps, kLong, kPps})},
  };
  for (const Case& c : cases) {
    Feed feed(Road::Interleaved);
    feed.settle();
    feed.push(kIdrStart, false);
    EXPECT_EQ(feed.push(c.gapPacket, false, true), PushResult::kTaken);
    EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
    // What came before the gap is gone.
    EXPECT_EQ(feed.unit(), concat({c.rebuilt, kLong, kPSlice}));
  }
}

TEST(H264Depacketizer, InterleavedDiscardsAfterAGapAtAnythingElseUpToTheMarker) {
  const Bytes ppsPiece = {
      0x7C,  // FU indicator: NRI 3, type 28
      0x08,  // FU header: type 8 (PPS)
      0xCE,  // piece
  };
  for (const Bytes& gapPacket : {kPps, kIdr, kPSlice, ppsPiece}) {
    Feed feed(Road::Interleaved);
    feed.settle();
    EXPECT_EQ(feed.push(gapPacket, false, true), PushResult::kIgnored);
    EXPECT_EQ(feed.push(kSps, false), PushResult::kIgnored);
    EXPECT_EQ(feed.push(kIdr, true), PushResult::kIgnored);
    EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
    EXPECT_EQ(feed.unit(), concat({kLong, kPSlice}));
  }
}

TEST(H264Depacketizer, InterleavedResumesOnlyForItsOwnPayloadType) {
  Feed feed(Road::Interleaved);
  feed.settle();
  EXPECT_EQ(feed.push(kSps, false, true, kOtherPayloadType), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdr, true, false, kOtherPayloadType), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdr, true, false, kOtherPayloadType), PushResult::kComplete);
}

TEST(H264Depacketizer, InterleavedGapPacketWithTheMarkerEndsDiscardingAtOnce) {
  Feed feed(Road::Interleaved);
  feed.settle();
  feed.push(kIdrStart, false);
  EXPECT_EQ(feed.push(kPSlice, true, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kLong, kPSlice}));
}

TEST(H264Depacketizer, InterleavedIgnoresPacketsShorterThanFourteenBytes) {
  const Bytes endOfSequence = {
      0x0A,  // NAL header: type 10 (end of sequence), a 13-byte packet
  };
  Feed feed(Road::Interleaved);
  feed.settle();
  feed.push(kIdr, false);
  EXPECT_EQ(feed.push(endOfSequence, true), PushResult::kIgnored);
  EXPECT_EQ(feed.depacketizer.droppedPackets(), 1u);
  // The unit goes on: the short packet's marker did not end it.
  EXPECT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kLong, kIdr, kLong, kPSlice}));
}

// Parameter sets from the session description

TEST(H264Depacketizer, PutsTheDescriptionsParameterSetsBeforeTheFirstUnitOnly) {
  StreamConfig config;
  config.sps = {0x67, 0x42, 0x00, 0x1F};  // SPS: NAL header, profile, constraints, level
  config.spsLength = 4;
  config.pps = {0x68, 0xCE, 0x3C};  // PPS: NAL header, parameter set data
  config.ppsLength = 3;
  for (Road road : {Road::Udp, Road::Interleaved}) {
    Feed feed(road);
    feed.depacketizer.configure(config);
    const Bytes& code = road == Road::Udp ? kShort : kLong;
    if (road == Road::Interleaved) feed.settle();
    ASSERT_EQ(feed.push(kIdr, true), PushResult::kComplete);
    EXPECT_EQ(feed.unit(), concat({code, kSps, code, kPps, code, kIdr}));
    ASSERT_EQ(feed.push(kPSlice, true), PushResult::kComplete);
    EXPECT_EQ(feed.unit(), concat({code, kPSlice}));
  }
}

TEST(H264Depacketizer, ClampsParameterSetLengthsToTheirStore) {
  StreamConfig config;
  config.sps.fill(0x67);
  config.spsLength = 100000;
  Feed feed(Road::Udp);
  feed.depacketizer.configure(config);
  feed.push(kIdr, true);
  EXPECT_EQ(feed.unit().size(), kShort.size() + kParameterSetSize + kShort.size() + kIdr.size());
}

// Size limits

TEST(H264Depacketizer, DropsAUnitLargerThanTheDecodersInputAreaAndTakesTheNext) {
  constexpr size_t kPiece = 1400;
  Bytes start = {0x7C, 0x85};   // FU indicator: NRI 3, type 28; FU header: start, type 5
  Bytes middle = {0x7C, 0x05};  // FU indicator; FU header: type 5
  start.resize(2 + kPiece, 0xAB);
  middle.resize(2 + kPiece, 0xCD);
  Feed feed(Road::Udp);
  ASSERT_EQ(feed.push(start, false), PushResult::kTaken);
  for (size_t sent = kPiece; sent <= kMaxAccessUnitSize; sent += kPiece) {
    ASSERT_EQ(feed.push(middle, false), PushResult::kTaken);
  }
  EXPECT_EQ(feed.push(kIdrEnd, true), PushResult::kIgnored);
  EXPECT_EQ(feed.depacketizer.droppedUnits(), 1u);
  EXPECT_TRUE(feed.unit().empty());
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
}

TEST(H264Depacketizer, DeliversAUnitOfExactlyTheInputAreaSize) {
  const size_t body = kMaxAccessUnitSize - kShort.size() - 1;
  Bytes whole = {0x7C, 0xC5};  // FU indicator: NRI 3, type 28; FU header: start, end, type 5
  whole.resize(2 + body, 0x5A);
  Feed feed(Road::Udp);
  ASSERT_EQ(feed.push(whole, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit().size(), kMaxAccessUnitSize);
}

// Lifetime of the completed unit

TEST(H264Depacketizer, KeepsTheCompletedUnitUntilTheNextPacket) {
  Feed feed(Road::Udp);
  EXPECT_TRUE(feed.unit().empty());
  feed.push(kIdr, true);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
  feed.push(kPSliceStart, false);
  EXPECT_TRUE(feed.unit().empty());
}

TEST(H264Depacketizer, ResetForgetsTheUnitAndWaitsForACleanStart) {
  Feed feed(Road::Udp);
  feed.push(kIdr, true);
  feed.push(kIdrStart, false);
  feed.depacketizer.reset();
  EXPECT_EQ(feed.push(kIdrEnd, true), PushResult::kIgnored);
  EXPECT_EQ(feed.push(kIdr, true), PushResult::kComplete);
  EXPECT_EQ(feed.unit(), concat({kShort, kIdr}));
}

}  // namespace
}  // namespace vexa::rtp
