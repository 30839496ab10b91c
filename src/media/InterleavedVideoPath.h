#pragma once

#include <cstdint>
#include <span>

#include "media/rtp/ReceptionFigures.h"

namespace vexa {

struct StreamConfig;

// The video payload path of an interleaved handler: the RTP packets of channel 0 in, pictures
// out to the site. One per codec; the dialogue is the same for all.
class InterleavedVideoPath {
 public:
  virtual ~InterleavedVideoPath() = default;

  // A new session begins (a new connection): its packets carry a new source and numbering, and
  // nothing of the last one is to be assembled. Called while no packet is being handed over.
  virtual void beginSession() = 0;
  // The session description has been read into config (sizes, parameter sets, configuration).
  virtual void configure(const StreamConfig& config) = 0;
  // One RTP packet of the video channel.
  virtual void onPacket(std::span<const uint8_t> rtp) = 0;
  // What the sequence accounting has counted, for the receiver reports (worker thread only).
  virtual ReceptionFigures figures() const = 0;
  // Packets lost so far; any thread.
  virtual int32_t lostPackets() const = 0;
  // Stops whatever the path runs besides the worker (a decode thread).
  virtual void stop() {}
};

}  // namespace vexa
