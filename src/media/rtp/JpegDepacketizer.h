#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "media/rtp/Depacketizer.h"
#include "media/rtp/JpegHeaderBuilder.h"

namespace vexa::rtp {

// The static payload type of JPEG (RFC 3551).
constexpr uint8_t kJpegPayloadType = 26;

// Rebuilds whole JFIF pictures (SOI to EOI) from RTP/JPEG packets (RFC 2435) for either road.
// Single-threaded: the owner publishes completed pictures under its own lock.
class JpegDepacketizer final : public Depacketizer {
 public:
  // A payload shorter than this cannot hold the main header and is ignored.
  static constexpr size_t kMinPayloadBytes = kJpegMainHeaderSize;
  // A picture growing beyond this is dropped; the largest picture the display takes is far
  // smaller.
  static constexpr size_t kMaxPictureBytes = size_t(4) << 20;

  explicit JpegDepacketizer(Road road) : road_(road) {}

  PushResult push(const RtpPacket& packet, bool lossBefore) override;
  // The last completed picture, ending with EOI.
  std::span<const uint8_t> completedUnit() const override { return completed_; }
  void reset() override;

  const JpegHeaderBuilder& headerBuilder() const { return builder_; }
  // Pictures given up: after loss, with pieces out of place, or over the size cap.
  uint32_t droppedPictures() const { return droppedPictures_; }
  // Packets too short for the headers they announce.
  uint32_t malformedPackets() const { return malformedPackets_; }

 private:
  PushResult assemble(const RtpPacket& packet, const JpegMainHeader& main);
  // Gives the picture up; without the marker the rest of it is dropped as it arrives.
  PushResult dropPicture(bool marker, const char* why);
  void abandonPicture();
  PushResult complete();

  const Road road_;
  JpegHeaderBuilder builder_;
  std::vector<uint8_t> assembly_;   // header, then scan data as it arrives
  std::vector<uint8_t> completed_;  // swapped with the assembly: no copy per picture
  size_t scanBytes_ = 0;            // scan data assembled: where the next fragment must start
  bool discarding_ = false;         // dropping packets up to the next marker
  uint32_t droppedPictures_ = 0;
  uint32_t malformedPackets_ = 0;
};

}  // namespace vexa::rtp
