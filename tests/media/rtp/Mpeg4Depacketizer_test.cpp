// How each road comes back after loss or an oversized picture; the common behaviour is in the
// shared depacketiser checks.
#include "media/rtp/Mpeg4Depacketizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/rtp/Mpeg4ContractFormat.h"

namespace vexa::rtp::test {
namespace {

struct Sent {
  Bytes payload;
  bool marker;
  bool lossBefore = false;
};

struct ResumeCase {
  std::string name;
  Road road;
  std::vector<Sent> packets;
  std::vector<Bytes> delivered;
};

std::vector<Bytes> deliver(Road road, const std::vector<Sent>& packets) {
  Mpeg4Depacketizer depacketizer(road);
  std::vector<Bytes> delivered;
  for (const Sent& sent : packets) {
    RtpPacket packet;
    packet.payloadType = kMpeg4PayloadType;
    packet.marker = sent.marker;
    packet.payload = sent.payload;
    if (depacketizer.push(packet, sent.lossBefore) == PushResult::kComplete) {
      const std::span<const uint8_t> unit = depacketizer.completedUnit();
      delivered.emplace_back(unit.begin(), unit.end());
    }
  }
  return delivered;
}

TEST(Mpeg4Depacketizer, ComesBackOnEachRoadAsItShould) {
  const Bytes configuration = mpeg4Configuration();
  const Bytes group = mpeg4GroupHeader();
  const Bytes intra = mpeg4Vop(true, 40, 1), intra2 = mpeg4Vop(true, 40, 2);
  const Bytes p = mpeg4Vop(false, 30, 3), p2 = mpeg4Vop(false, 30, 4);
  const Bytes half(Mpeg4Depacketizer::kMaxPictureBytes / 2 + 1, 0x80);
  const auto cut = [](const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + long(from), bytes.begin() + long(std::min(to, bytes.size())));
  };
  const std::vector<ResumeCase> cases = {
      {"UDP: after loss, resumes at a payload whose first VOP is intra behind a group header",
       Road::Udp,
       {{concat({group, intra}), true},
        {cut(p, 0, 10), false, true},
        {cut(p, 10, 99), true},
        {concat({group, cut(intra2, 0, 20)}), false},
        {cut(intra2, 20, 99), true}},
       {concat({group, intra}), concat({group, intra2})}},
      {"UDP: headers in a packet of their own are held until the VOP shows its type",
       Road::Udp,
       {{configuration, false, true},
        {p, true},
        {configuration, false},
        {concat({group, intra}), true},
        {p2, true}},
       {concat({configuration, group, intra}), p2}},
      {"UDP: a payload that does not begin at a start code opens no picture",
       Road::Udp,
       {{concat({{0x55}, group, intra}), true, true}, {p, true}},
       {}},
      {"UDP: an oversized picture is dropped, and so is all up to the next intra one",
       Road::Udp,
       {{concat({intra, half}), false}, {half, true}, {p, true}, {intra2, true}},
       {intra2}},
      {"Interleaved: the packet after a gap goes too; with the marker the next picture is whole",
       Road::Interleaved,
       {{intra, true}, {cut(p, 0, 10), false}, {cut(p, 10, 99), true, true}, {p2, true}},
       {intra, p2}},
      {"Interleaved: an oversized picture is dropped up to its marker",
       Road::Interleaved,
       {{concat({intra, half}), false}, {half, false}, {half, true}, {p, true}},
       {p}},
  };
  for (const ResumeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(deliver(c.road, c.packets), c.delivered);
  }
}

}  // namespace
}  // namespace vexa::rtp::test
