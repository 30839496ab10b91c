// Feeds a stream of arbitrary RTP packets through the sequence accounting and the H.264
// depacketiser of both roads, and the completed units through the decode thread's queue.
// Input: one byte of options, then packets, each behind a 16-bit big-endian length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzSupport.h"
#include "media/rtp/AccessUnitQueue.h"
#include "media/rtp/H264Depacketizer.h"
#include "media/rtp/RtpPacket.h"
#include "media/rtp/RtpSequenceTracker.h"

namespace {

constexpr uint8_t kWithParameterSets = 0x01;
constexpr size_t kLengthSize = 2;

struct RoadUnderTest {
  explicit RoadUnderTest(vexa::rtp::Road road) : depacketizer(road) {}

  void take(const vexa::rtp::RtpPacket& packet) {
    using vexa::rtp::RtpSequenceTracker;
    const uint32_t flags = tracker.track(packet, depacketizer.road());
    if ((flags & RtpSequenceTracker::kForeignSsrc) != 0) return;
    const auto result = depacketizer.push(packet, (flags & RtpSequenceTracker::kGap) != 0);
    if (result != vexa::rtp::PushResult::kComplete) return;
    const std::span<const uint8_t> unit = depacketizer.completedUnit();
    const std::span<const uint8_t> code = depacketizer.startCode();
    // Every unit opens with the road's start code and fits the decoder's input area.
    if (unit.size() <= code.size() || unit.size() > vexa::rtp::kMaxAccessUnitSize ||
        !std::equal(code.begin(), code.end(), unit.begin())) {
      __builtin_trap();
    }
    queue.handOff(unit);
    // The decode thread keeps up with every other unit.
    if (++completed % 2 == 0) queue.takeOldest([](std::span<const uint8_t>) {});
  }

  vexa::rtp::RtpSequenceTracker tracker;
  vexa::rtp::H264Depacketizer depacketizer;
  vexa::rtp::AccessUnitQueue queue;
  size_t completed = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  RoadUnderTest udp(vexa::rtp::Road::Udp), interleaved(vexa::rtp::Road::Interleaved);
  if ((data[0] & kWithParameterSets) != 0) {
    const vexa::StreamConfig config = vexa::fuzz::withParameterSets();
    udp.depacketizer.configure(config);
    interleaved.depacketizer.configure(config);
  }
  size_t offset = 1;
  while (size - offset >= kLengthSize) {
    const size_t length = size_t(data[offset]) << 8 | data[offset + 1];
    offset += kLengthSize;
    const size_t available = length < size - offset ? length : size - offset;
    const auto packet = vexa::rtp::parseRtpPacket(std::span(data + offset, available));
    offset += available;
    if (!packet) continue;
    udp.take(*packet);
    interleaved.take(*packet);
  }
  return 0;
}
