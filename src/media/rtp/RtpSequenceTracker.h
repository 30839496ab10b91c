#pragma once

#include <cstdint>
#include <optional>

#include "media/rtp/Depacketizer.h"
#include "media/rtp/ReceptionFigures.h"
#include "media/rtp/RtpPacket.h"
#include "platform/Clock.h"

namespace vexa::rtp {

// Sequence accounting of one received stream (video of a handler, audio): the counters RTCP
// reports read, and per packet whether packets went missing before it.
//
// The two roads count loss with the same arithmetic but disagree on an old or repeated packet:
// the interleaved road marks it stale and keeps its place, the UDP road takes it as the newest
// and treats the unit it falls into as damaged.
//
// The first packet latches its source; packets of another source are not counted. Until the
// latched source sends a second packet it is on probation (RFC 3550 A.1): a stray packet that
// arrived first gives way to the next source at once. Once confirmed, another source takes its
// place, as a restarted camera's does, after kPacketsToTakeOver of its packets in a row, or once
// the latched source has been silent for kSilenceToTakeOverMs while it streams.
class RtpSequenceTracker {
 public:
  static constexpr uint32_t kPacketsToTakeOver = 50;
  static constexpr uint32_t kSilenceToTakeOverMs = 1000;

  RtpSequenceTracker() = default;
  // The clock times the latched source's silence.
  explicit RtpSequenceTracker(const platform::Clock& clock) : clock_(&clock) {}

  // Per-packet result flags.
  static constexpr uint32_t kStale = 1;        // older than or equal to the last one
  static constexpr uint32_t kGap = 2;          // packets were missed before this one
  static constexpr uint32_t kMarker = 4;       // the marker bit is set
  static constexpr uint32_t kForeignSsrc = 8;  // another source: nothing was counted

  // Interleaved road, also used for audio.
  uint32_t trackInterleaved(const RtpPacket& packet);
  // UDP and multicast road. Anything but the next number sets kGap (an old or repeated one also
  // kStale) and becomes the last.
  uint32_t trackUdp(const RtpPacket& packet);
  uint32_t track(const RtpPacket& packet, Road road) {
    return road == Road::Udp ? trackUdp(packet) : trackInterleaved(packet);
  }

  uint16_t lastSequence() const { return lastSequence_; }
  uint16_t wrapCount() const { return wrapCount_; }
  uint32_t lostPackets() const { return lostPackets_; }
  ReceptionFigures figures() const { return {lastSequence_, wrapCount_, lostPackets_}; }
  uint32_t lastTimestamp() const { return lastTimestamp_; }
  uint32_t ssrc() const { return ssrc_; }
  bool firstPacket() const { return firstPacket_; }
  // Times another source took the latched one's place.
  uint32_t sourceSwitches() const { return sourceSwitches_; }

 private:
  // What both roads do alike: latch the first packet, ignore a foreign source, take the next
  // number. Nullopt when the number is not the next one.
  std::optional<uint32_t> trackInOrder(const RtpPacket& packet);
  void latch(const RtpPacket& packet);
  bool takesOver(const RtpPacket& packet);
  void takeNext(uint16_t sequence);
  void countWrap(uint16_t sequence);
  uint32_t finish(const RtpPacket& packet, uint32_t flags);

  uint16_t lastSequence_ = 0;
  uint16_t wrapCount_ = 0;
  uint32_t lostPackets_ = 0;
  uint32_t lastTimestamp_ = 0;
  uint32_t ssrc_ = 0;
  bool firstPacket_ = true;
  bool confirmed_ = false;  // the latched source has sent more than its first packet

  const platform::Clock* clock_ = &platform::SystemClock::instance();
  uint32_t candidate_ = 0;        // the other source whose packets arrive in a row
  uint32_t candidateRun_ = 0;     // its packets since the latched source's last
  uint32_t lastHeardAt_ = 0;      // when the latched source's last packet came
  uint32_t sourceSwitches_ = 0;
};

}  // namespace vexa::rtp
