#include "media/rtp/RtpSequenceTracker.h"

#include "common/DebugTrace.h"

namespace vexa::rtp {

namespace {

// A jump from near the top of the number space to near its bottom is taken as a wrap, not as an
// old packet: the last number is at least this...
constexpr uint16_t kWrapZoneStart = 55536;
// ...and the new one at most this far past 0.
constexpr uint16_t kWrapReach = 10000;
constexpr uint32_t kSequenceSpan = 65535;

}  // namespace

void RtpSequenceTracker::latch(const RtpPacket& packet) {
  firstPacket_ = false;
  confirmed_ = false;
  ssrc_ = packet.ssrc;
  lastHeardAt_ = clock_->tickCount();
  lastSequence_ = packet.sequence;
}

bool RtpSequenceTracker::takesOver(const RtpPacket& packet) {
  if (candidateRun_ == 0 || packet.ssrc != candidate_) {
    candidate_ = packet.ssrc;
    candidateRun_ = 0;
  }
  ++candidateRun_;
  return candidateRun_ >= kPacketsToTakeOver ||
         clock_->tickCount() - lastHeardAt_ >= kSilenceToTakeOverMs;
}

void RtpSequenceTracker::takeNext(uint16_t sequence) {
  lastSequence_ = sequence;
  if (sequence == 0) ++wrapCount_;
}

void RtpSequenceTracker::countWrap(uint16_t sequence) {
  ++wrapCount_;
  lostPackets_ += sequence + kSequenceSpan - lastSequence_;
  lastSequence_ = sequence;
}

uint32_t RtpSequenceTracker::finish(const RtpPacket& packet, uint32_t flags) {
  lastTimestamp_ = packet.timestamp;
  return packet.marker ? flags | kMarker : flags;
}

std::optional<uint32_t> RtpSequenceTracker::trackInOrder(const RtpPacket& packet) {
  if (firstPacket_) {
    latch(packet);
    return finish(packet, 0);
  }
  if (packet.ssrc != ssrc_) {
    if (confirmed_ && !takesOver(packet)) return kForeignSsrc;
    DebugTrace("rtp: source %08x takes the place of %08x", packet.ssrc, ssrc_);
    ++sourceSwitches_;
    candidateRun_ = 0;
    latch(packet);
    // Nothing is lost, but what was being assembled belongs to another stream.
    return finish(packet, kGap);
  }
  candidateRun_ = 0;
  confirmed_ = true;
  lastHeardAt_ = clock_->tickCount();
  if (packet.sequence == uint16_t(lastSequence_ + 1)) {
    takeNext(packet.sequence);
    return finish(packet, 0);
  }
  return std::nullopt;
}

uint32_t RtpSequenceTracker::trackInterleaved(const RtpPacket& packet) {
  if (const auto flags = trackInOrder(packet)) return *flags;
  const uint16_t sequence = packet.sequence;
  if (lastSequence_ >= kWrapZoneStart && sequence <= kWrapReach) {
    countWrap(sequence);
    return finish(packet, kGap);
  }
  if (sequence > lastSequence_) {
    lostPackets_ += sequence - 1u - lastSequence_;
    lastSequence_ = sequence;
    return finish(packet, kGap);
  }
  return finish(packet, kStale);
}

uint32_t RtpSequenceTracker::trackUdp(const RtpPacket& packet) {
  if (const auto flags = trackInOrder(packet)) return *flags;
  const uint16_t sequence = packet.sequence;
  uint32_t flags = kGap;
  if (lastSequence_ >= kWrapZoneStart && sequence <= uint16_t(lastSequence_ + kWrapReach)) {
    countWrap(sequence);
  } else if (sequence > lastSequence_) {
    lostPackets_ += sequence - 1u - lastSequence_;
  } else {
    flags |= kStale;
  }
  lastSequence_ = sequence;
  return finish(packet, flags);
}

}  // namespace vexa::rtp
