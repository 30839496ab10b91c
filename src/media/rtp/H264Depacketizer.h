#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "media/rtp/Depacketizer.h"
#include "media/rtp/H264Nal.h"

namespace vexa::rtp {

// The payload type interleaved H.264 arrives with; only it may end discarding early after a gap.
constexpr uint8_t kInterleavedH264PayloadType = 99;
// Interleaved packets shorter than 14 bytes (header included) carry too little to look at.
constexpr size_t kMinInterleavedPayloadSize = 14 - kRtpHeaderSize;

// H.264 over RTP (RFC 6184) rebuilt as Annex B access units, one NAL unit after each start code.
//
// The roads differ in the start code (00 00 01 on UDP, 00 00 00 01 interleaved) and in how they
// come back after loss:
// - UDP: the damaged unit is dropped up to its marker, and so is every later unit until one whose
//   first packet carries an IDR slice or a sequence parameter set, so the decoder always restarts
//   from a picture it can decode. A new depacketiser starts in that state.
// - Interleaved: the stream is taken from its first packet that begins a NAL unit, and units are
//   dropped until one holds an IDR slice or SPS (a camera that joins the session mid-unit is
//   dropped up to the marker as before). After a gap the unit
//   is cleared and packets are dropped up to the next marker, unless the gap packet itself ends a
//   unit (marker) or, with payload type 99, is an SPS or a fragment of a slice or SPS: then
//   assembly goes on from that packet, so the decoder gets the rest of the picture.
//
// The unit is complete at the marker. It is never allowed past kMaxAccessUnitSize: a larger one
// is dropped whole. Parameter sets from the session description go in front of the first unit
// completed, for cameras that send them nowhere else.
class H264Depacketizer final : public Depacketizer {
 public:
  explicit H264Depacketizer(Road road);

  // Takes sps/spsLength and pps/ppsLength.
  void configure(const StreamConfig& config) override;
  // Raw parameter sets (no start codes), each cut to kParameterSetSize; empty ones are left out.
  void setParameterSets(std::span<const uint8_t> sps, std::span<const uint8_t> pps);

  PushResult push(const RtpPacket& packet, bool lossBefore) override;
  std::span<const uint8_t> completedUnit() const override;
  // Back to the state at creation: the unit being assembled is forgotten, the next must begin
  // cleanly, and the parameter sets go in front of the next unit completed again.
  void reset() override;

  Road road() const { return road_; }
  std::span<const uint8_t> startCode() const { return startCode_; }
  // Packets dropped for what they were (malformed, unsupported type, too short).
  uint32_t droppedPackets() const { return droppedPackets_; }
  // Units dropped for their size.
  uint32_t droppedUnits() const { return droppedUnits_; }

 private:
  PushResult pushUdp(const RtpPacket& packet, bool lossBefore);
  PushResult pushInterleaved(const RtpPacket& packet, bool lossBefore);
  // Appends the packet's NAL units, then completes the unit at the marker.
  PushResult assemble(const RtpPacket& packet);
  bool appendPayload(std::span<const uint8_t> payload);
  bool appendStapA(std::span<const uint8_t> payload);
  bool appendFuA(std::span<const uint8_t> payload);
  void appendNal(uint8_t header, std::span<const uint8_t> body, bool withStartCode);
  PushResult completeUnit();
  void dropUnit(const char* why, size_t size);
  void startOver();
  bool dropPacket(const char* why, std::span<const uint8_t> payload);

  const Road road_;
  const std::span<const uint8_t> startCode_;
  std::vector<uint8_t> assembly_;
  // Start code, SPS, start code, PPS, ready to go in front of a unit.
  std::vector<uint8_t> parameterSets_;
  bool parameterSetsPending_ = false;
  // The assembly holds a completed unit the caller may still be reading.
  bool unitReady_ = false;
  // The unit outgrew the cap: the rest of it is dropped up to its marker.
  bool oversize_ = false;
  // UDP: the unit is damaged and dropped; and the next packet begins a unit after a drop.
  bool dropping_ = true;
  bool atUnitStart_ = true;
  // Interleaved: dropped up to the next marker.
  bool discarding_ = true;
  // Interleaved: until the first unit with an IDR slice or SPS, assembly begins at any packet that
  // begins a NAL unit and units without a key NAL are dropped.
  bool awaitingKeyUnit_;
  uint32_t droppedPackets_ = 0;
  uint32_t droppedUnits_ = 0;
};

}  // namespace vexa::rtp
