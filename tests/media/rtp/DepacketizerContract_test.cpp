// Checks every depacketiser passes on both roads: the stream is cut into units right, a lost or
// cut packet costs at most the units the format cannot restart from, and the sequence wrap is
// invisible. A new format adds a `ContractFormat xContractFormat(Road)` header and its two roads
// to the list at the end.
#include "media/rtp/DepacketizerContract.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "media/rtp/H264ContractFormat.h"
#include "media/rtp/JpegContractFormat.h"
#include "media/rtp/Mpeg4ContractFormat.h"
#include "media/rtp/RtpPacket.h"
#include "media/rtp/RtpSequenceTracker.h"
#include "support/RtpPackets.h"

namespace vexa::rtp::test {
namespace {

using ::testing::Contains;
using ::testing::Not;

constexpr uint16_t kFirstSequence = 1000;
constexpr uint32_t kTimestampStep = 3000;  // 30 pictures a second at 90 kHz
constexpr size_t kLastUnit = 4;

// A sender, the road's sequence accounting and the depacketiser under test, as a handler joins
// them: every packet goes through real RTP bytes, with nothing after its last byte.
class ContractStream {
 public:
  ContractStream(const ContractFormat& format, uint16_t firstSequence)
      : format_(format), depacketizer_(format.make()), sequence_(firstSequence) {}

  void send(std::span<const uint8_t> payload, bool marker) {
    const Bytes bytes = rtpPacket(format_.payloadType, marker, sequence_++, timestamp_, payload);
    const RtpPacket packet = parseRtpPacket(bytes).value();
    const uint32_t flags = tracker_.track(packet, format_.road);
    if (depacketizer_->push(packet, (flags & RtpSequenceTracker::kGap) != 0) ==
        PushResult::kComplete) {
      const std::span<const uint8_t> unit = depacketizer_->completedUnit();
      delivered_.emplace_back(unit.begin(), unit.end());
    }
  }

  // The whole unit; lostPacket never arrives; without the marker its last packet lacks the bit.
  void sendUnit(const ContractUnit& unit, std::optional<size_t> lostPacket = std::nullopt,
                bool marker = true) {
    timestamp_ += kTimestampStep;
    for (size_t i = 0; i < unit.payloads.size(); ++i) {
      if (lostPacket == i)
        ++sequence_;
      else
        send(unit.payloads[i], marker && i + 1 == unit.payloads.size());
    }
  }

  void sendUnits(size_t from, size_t to) {
    for (size_t i = from; i <= to; ++i) sendUnit(format_.units[i]);
  }

  const std::vector<Bytes>& delivered() const { return delivered_; }
  const RtpSequenceTracker& tracker() const { return tracker_; }

 private:
  const ContractFormat& format_;
  std::unique_ptr<Depacketizer> depacketizer_;
  RtpSequenceTracker tracker_;
  uint16_t sequence_;
  uint32_t timestamp_ = 0;
  std::vector<Bytes> delivered_;
};

class DepacketizerContract : public ::testing::TestWithParam<ContractFormat> {
 protected:
  void SetUp() override {
    ASSERT_EQ(format().units.size(), kLastUnit + 1);
    for (const ContractUnit& unit : format().units) ASSERT_GE(unit.payloads.size(), 3u);
  }

  const ContractFormat& format() const { return GetParam(); }
  const Bytes& expected(size_t unit) const { return format().units[unit].expected; }

  // Units 1 to 4 whole and in order, unit 0 at most before them.
  void expectEveryUnitWhole(const std::vector<Bytes>& delivered) const {
    ASSERT_GE(delivered.size(), kLastUnit);
    ASSERT_LE(delivered.size(), kLastUnit + 1);
    if (delivered.size() == kLastUnit + 1) EXPECT_EQ(delivered.front(), expected(0));
    for (size_t unit = 1; unit <= kLastUnit; ++unit)
      EXPECT_EQ(delivered[delivered.size() - 1 - kLastUnit + unit], expected(unit)) << unit;
  }

  // Units 0 and 1, unit 2 as given (and one of its packets lost, perhaps), units 3 and 4.
  std::vector<Bytes> deliveredAround(const ContractUnit& unit2,
                                     std::optional<size_t> lostPacket = std::nullopt) const {
    ContractStream stream(format(), kFirstSequence);
    stream.sendUnits(0, 1);
    stream.sendUnit(unit2, lostPacket);
    stream.sendUnits(3, kLastUnit);
    return stream.delivered();
  }

  // Unit 2 was damaged: it never comes out as if whole, what came before it does, and the
  // format is back on its feet by the last unit.
  void expectRecoveryFromDamageTo2(const std::vector<Bytes>& delivered) const {
    EXPECT_THAT(delivered, Contains(expected(1)));
    EXPECT_THAT(delivered, Not(Contains(expected(2))));
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered.back(), expected(kLastUnit));
  }
};

TEST_P(DepacketizerContract, RecoversAfterLosingTheFirstMiddleOrLastPacketOfAUnit) {
  for (size_t lost : {size_t(0), size_t(1), format().units[2].payloads.size() - 1}) {
    SCOPED_TRACE(testing::Message() << "packet " << lost << " lost");
    expectRecoveryFromDamageTo2(deliveredAround(format().units[2], lost));
  }
}

TEST_P(DepacketizerContract, DeliversEveryUnitOfAnIntactStreamAcrossTheSequenceWrap) {
  // Unit 2 starts at 65535 and goes on at 0.
  const size_t before = format().units[0].payloads.size() + format().units[1].payloads.size();
  ContractStream stream(format(), uint16_t(65535 - before));
  stream.sendUnits(0, kLastUnit);
  expectEveryUnitWhole(stream.delivered());
  EXPECT_EQ(stream.tracker().lostPackets(), 0u);
  EXPECT_EQ(stream.tracker().wrapCount(), 1u);
}

TEST_P(DepacketizerContract, RecoversFromEveryTruncationOfEveryPacket) {
  const ContractUnit& damaged = format().units[2];
  for (size_t packet = 0; packet < damaged.payloads.size(); ++packet) {
    for (size_t length = 0; length < damaged.payloads[packet].size(); ++length) {
      SCOPED_TRACE(testing::Message() << "packet " << packet << " cut to " << length);
      ContractUnit cut = damaged;
      cut.payloads[packet].resize(length);
      expectRecoveryFromDamageTo2(deliveredAround(cut));
    }
  }
}

TEST_P(DepacketizerContract, RecoversFromAMissingMarker) {
  ContractStream stream(format(), kFirstSequence);
  stream.sendUnit(format().units[0]);
  stream.sendUnit(format().units[1], std::nullopt, false);
  stream.sendUnits(2, kLastUnit);
  const std::vector<Bytes>& delivered = stream.delivered();
  ASSERT_GE(delivered.size(), 2u);
  EXPECT_EQ(delivered[delivered.size() - 2], expected(3));
  EXPECT_EQ(delivered.back(), expected(kLastUnit));
  // Whatever became of units 1 and 2, nothing grew past the two of them together.
  for (const Bytes& unit : delivered)
    EXPECT_LE(unit.size(), expected(1).size() + expected(2).size());
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, DepacketizerContract,
    ::testing::Values(h264ContractFormat(Road::Udp), h264ContractFormat(Road::Interleaved),
                      jpegContractFormat(Road::Udp), jpegContractFormat(Road::Interleaved),
                      mpeg4ContractFormat(Road::Udp), mpeg4ContractFormat(Road::Interleaved)),
    [](const ::testing::TestParamInfo<ContractFormat>& info) { return info.param.name; });

}  // namespace
}  // namespace vexa::rtp::test
