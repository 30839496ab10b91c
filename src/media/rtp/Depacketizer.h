#pragma once

#include <cstdint>
#include <span>

#include "media/rtp/RtpPacket.h"

namespace vexa {
struct StreamConfig;
}

namespace vexa::rtp {

// The two roads RTP arrives on. They differ in small, fixed ways (start-code length, how a
// payload format resynchronises after loss), which each depacketiser applies by road.
enum class Road { Udp, Interleaved };

// What a packet did, as the packet functions of the assemblers report it.
enum class PushResult : int { kTaken = 0, kIgnored = 1, kComplete = 2 };

// One payload format's reassembly, shared by every road that carries it: packets in (after the
// road's sequence accounting), complete units out.
class Depacketizer {
 public:
  virtual ~Depacketizer() = default;

  // Facts from the session description (parameter sets, sizes) before the first packet.
  virtual void configure(const StreamConfig& config) {}
  // One packet; lossBefore says the road's accounting saw packets missing before this one.
  virtual PushResult push(const RtpPacket& packet, bool lossBefore) = 0;
  // After kComplete: the unit (a JFIF picture, an Annex B access unit), valid until the next
  // push or reset.
  virtual std::span<const uint8_t> completedUnit() const = 0;
  // Forget the unit being assembled, as after a loss.
  virtual void reset() = 0;
};

}  // namespace vexa::rtp
