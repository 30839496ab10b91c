#include "media/rtp/Mpeg4Depacketizer.h"

#include "common/DebugTrace.h"
#include "media/Mpeg4Picture.h"

namespace vexa::rtp {

PushResult Mpeg4Depacketizer::push(const RtpPacket& packet, bool lossBefore) {
  return road_ == Road::Udp ? pushUdp(packet, lossBefore) : pushInterleaved(packet, lossBefore);
}

void Mpeg4Depacketizer::reset() {
  forget();
  completed_.clear();
  dropping_ = road_ == Road::Udp;
  discarding_ = false;
}

void Mpeg4Depacketizer::forget() {
  assembly_.clear();
}

PushResult Mpeg4Depacketizer::pushUdp(const RtpPacket& packet, bool lossBefore) {
  if (lossBefore) {
    if (!assembly_.empty()) ++droppedPictures_;
    forget();
    dropping_ = true;
  }
  if (dropping_) return tryResume(packet);
  return assemble(packet);
}

// The picture to resume at may open with headers in a packet of their own, so the bytes from a
// packet that begins with a start code are held until the first VOP shows its coding type.
PushResult Mpeg4Depacketizer::tryResume(const RtpPacket& packet) {
  const std::span<const uint8_t> payload = packet.payload;
  if (assembly_.empty() && mpeg4OpeningOf(payload) == Mpeg4Opening::kNotAPictureStart) {
    return PushResult::kIgnored;
  }
  assembly_.insert(assembly_.end(), payload.begin(), payload.end());
  switch (mpeg4OpeningOf(assembly_)) {
    case Mpeg4Opening::kIntra:
      dropping_ = false;
      if (!packet.marker) return PushResult::kTaken;
      completed_.swap(assembly_);
      forget();
      return PushResult::kComplete;
    case Mpeg4Opening::kNoVopYet:
      if (!packet.marker && assembly_.size() <= kMaxHeaderBytes) return PushResult::kTaken;
      break;
    default:
      break;
  }
  forget();
  return PushResult::kIgnored;
}

PushResult Mpeg4Depacketizer::pushInterleaved(const RtpPacket& packet, bool lossBefore) {
  if (lossBefore) {
    // The packet after the gap goes too; when it ends its picture the next one starts clean.
    if (!assembly_.empty()) ++droppedPictures_;
    forget();
    discarding_ = !packet.marker;
    return PushResult::kIgnored;
  }
  if (discarding_) {
    discarding_ = !packet.marker;
    return PushResult::kIgnored;
  }
  return assemble(packet);
}

PushResult Mpeg4Depacketizer::assemble(const RtpPacket& packet) {
  if (assembly_.size() + packet.payload.size() > kMaxPictureBytes) {
    DebugTrace("MPEG-4: picture over %zu bytes dropped", kMaxPictureBytes);
    dropPicture(packet.marker);
    return PushResult::kIgnored;
  }
  assembly_.insert(assembly_.end(), packet.payload.begin(), packet.payload.end());
  if (!packet.marker) return PushResult::kTaken;
  completed_.swap(assembly_);
  forget();
  return PushResult::kComplete;
}

void Mpeg4Depacketizer::dropPicture(bool marker) {
  ++droppedPictures_;
  forget();
  if (road_ == Road::Udp) {
    dropping_ = true;
  } else {
    discarding_ = !marker;
  }
}

}  // namespace vexa::rtp
