#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "media/rtp/Depacketizer.h"

namespace vexa::rtp {

// The dynamic payload type MPEG-4 video must arrive with.
constexpr uint8_t kMpeg4PayloadType = 96;

// MPEG-4 visual over RTP (RFC 3016): one picture (headers and one VOP) over packets, the marker on
// the last. The payloads are joined as they are; the picture is complete at the marker.
//
// The roads come back from loss differently:
// - UDP: the damaged picture and every later one is dropped until a picture opens with an intra
//   VOP, its configuration or group header in front of it allowed, so that the decoder restarts
//   from a picture it can decode. A new depacketiser starts in that state.
// - Interleaved: packets are discarded up to the next marker, the packet after the gap included;
//   waiting for an intra picture is left to the player.
//
// A picture that outgrows kMaxPictureBytes is dropped whole and treated as a loss.
class Mpeg4Depacketizer final : public Depacketizer {
 public:
  // The backlog the player takes, so no single picture may be larger.
  static constexpr size_t kMaxPictureBytes = 524280;
  // Headers in front of a VOP are short; bytes that open a picture and hold no VOP by this size
  // are not one.
  static constexpr size_t kMaxHeaderBytes = 1024;

  explicit Mpeg4Depacketizer(Road road) : road_(road), dropping_(road == Road::Udp) {}

  PushResult push(const RtpPacket& packet, bool lossBefore) override;
  std::span<const uint8_t> completedUnit() const override { return completed_; }
  // Back to the state at creation.
  void reset() override;

  Road road() const { return road_; }
  uint32_t droppedPictures() const { return droppedPictures_; }

 private:
  PushResult pushUdp(const RtpPacket& packet, bool lossBefore);
  PushResult pushInterleaved(const RtpPacket& packet, bool lossBefore);
  // UDP while dropping: the packet opens (or goes on opening) the intra picture to resume at.
  PushResult tryResume(const RtpPacket& packet);
  // Appends and completes at the marker; an oversized picture is dropped.
  PushResult assemble(const RtpPacket& packet);
  void dropPicture(bool marker);
  void forget();

  const Road road_;
  std::vector<uint8_t> assembly_;
  std::vector<uint8_t> completed_;
  // UDP: waiting for an intra picture.
  bool dropping_;
  // Interleaved: discarding up to the next marker.
  bool discarding_ = false;
  uint32_t droppedPictures_ = 0;
};

}  // namespace vexa::rtp
