#include "media/rtp/JpegDepacketizer.h"

#include "common/DebugTrace.h"

namespace vexa::rtp {

namespace {

// RFC 2435 section 3 leaves EOI to the receiver. FFmpeg decodes without it but warns on every
// picture, and recordings store the pictures as they are, where a JPEG must end with one.
constexpr uint8_t kEndOfImage[] = {0xFF, 0xD9};
constexpr size_t kEndOfImageSize = sizeof kEndOfImage;

bool endsWithEndOfImage(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= kEndOfImageSize && bytes[bytes.size() - 2] == kEndOfImage[0] &&
         bytes[bytes.size() - 1] == kEndOfImage[1];
}

}  // namespace

PushResult JpegDepacketizer::push(const RtpPacket& packet, bool lossBefore) {
  const auto main =
      packet.payload.size() >= kMinPayloadBytes ? readJpegMainHeader(packet.payload) : std::nullopt;
  if (!main) {
    // A runt on the UDP road once stopped the whole stream; it costs one packet here.
    ++malformedPackets_;
    DebugTrace("RTP/JPEG: packet %u of %zu payload bytes has no main header: ignored",
               unsigned(packet.sequence), packet.payload.size());
    return PushResult::kIgnored;
  }

  if (lossBefore) {
    // Nothing can fill the hole: the damaged picture goes.
    abandonPicture();
    discarding_ = true;
    if (packet.marker) {
      discarding_ = false;  // the damaged picture ends here; the next packet starts one
      return PushResult::kTaken;
    }
    // The interleaved road takes a picture start right after the gap; the UDP road waits for
    // the damaged picture's marker before it starts again.
    const bool pictureStart = packet.payloadType == kJpegPayloadType && main->fragmentOffset == 0;
    if (road_ != Road::Interleaved || !pictureStart) return PushResult::kTaken;
    discarding_ = false;
  }

  if (discarding_) {
    if (packet.marker) discarding_ = false;
    return PushResult::kTaken;
  }
  return assemble(packet, *main);
}

PushResult JpegDepacketizer::assemble(const RtpPacket& packet, const JpegMainHeader& main) {
  const auto notScan = builder_.processMainHeader(packet.payload);
  if (!notScan) {
    ++malformedPackets_;
    return dropPicture(packet.marker, "payload ends inside its restart or table header");
  }
  const auto scan = packet.payload.subspan(kJpegMainHeaderSize + *notScan);

  if (main.fragmentOffset == 0 && !assembly_.empty()) {
    // A new picture began before the last one ended: its marker packet never came.
    DebugTrace("RTP/JPEG: picture without its end dropped");
    abandonPicture();
  }
  if (assembly_.empty()) {
    if (main.fragmentOffset != 0) return dropPicture(packet.marker, "start of picture missing");
    const auto header = builder_.header();
    if (header.empty()) return dropPicture(packet.marker, "no tables for the picture");
    assembly_.assign(header.begin(), header.end());
    scanBytes_ = 0;
  } else if (main.fragmentOffset != scanBytes_) {
    // RFC 2435 section 3.1.2: the offset is where this packet's bytes go in the scan data.
    return dropPicture(packet.marker, "fragment out of place");
  }

  if (assembly_.size() + scan.size() + kEndOfImageSize > kMaxPictureBytes) {
    return dropPicture(packet.marker, "picture over the size cap");
  }
  assembly_.insert(assembly_.end(), scan.begin(), scan.end());
  scanBytes_ += scan.size();
  return packet.marker ? complete() : PushResult::kTaken;
}

PushResult JpegDepacketizer::complete() {
  if (!endsWithEndOfImage(assembly_)) {
    assembly_.insert(assembly_.end(), std::begin(kEndOfImage), std::end(kEndOfImage));
  }
  completed_.swap(assembly_);
  assembly_.clear();
  scanBytes_ = 0;
  return PushResult::kComplete;
}

PushResult JpegDepacketizer::dropPicture(bool marker, const char* why) {
  DebugTrace("RTP/JPEG: picture dropped: %s", why);
  abandonPicture();
  discarding_ = !marker;
  return PushResult::kTaken;
}

void JpegDepacketizer::abandonPicture() {
  // Counted once, whether the picture had pieces assembled or lost its first one.
  if (!assembly_.empty() || !discarding_) ++droppedPictures_;
  assembly_.clear();
  scanBytes_ = 0;
}

void JpegDepacketizer::reset() {
  assembly_.clear();
  scanBytes_ = 0;
  discarding_ = false;
}

}  // namespace vexa::rtp
