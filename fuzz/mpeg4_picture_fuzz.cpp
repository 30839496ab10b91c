// MPEG-4 pictures from RTP payloads to the display: either road's depacketiser, the play step
// (layout checks, the stored configuration in front, libavcodec's decode, the one picture) and
// the display's copy into a buffer exactly as large as the picture it is told of.
//
// Input: one byte of options (bit 0: interleaved road; bit 1: the first record is the stored
// configuration), then records of a 16-bit big-endian length and a packet: one byte of flags
// (bit 0: marker; bit 1: packets were lost before it), then the payload.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "media/Mpeg4PlayThread.h"
#include "media/rtp/Mpeg4Depacketizer.h"

namespace {

constexpr uint8_t kInterleaved = 0x01;
constexpr uint8_t kStoredConfiguration = 0x02;
constexpr uint8_t kMarker = 0x01;
constexpr uint8_t kLossBefore = 0x02;
constexpr size_t kMaxPacketBytes = 0xFFFF;

// The picture offered is whole, within the display's size, and copies out at exactly its size.
void checkPicture(vexa::Mpeg4PlayThread& play, uint32_t& decoded) {
  const uint32_t now = play.pictureCounter().load();
  if (now < decoded) __builtin_trap();
  decoded = now;
  vexa::BITMAPINFOHEADER info{};
  if (play.GetMpeg4Frame(nullptr, nullptr, &info) < 0) return;
  if (info.biWidth <= 0 || info.biHeight <= 0 || info.biWidth > vexa::kMaxDisplayWidth ||
      info.biHeight > vexa::kMaxDisplayHeight ||
      info.biSizeImage != uint32_t(info.biWidth) * uint32_t(info.biHeight) * 3) {
    __builtin_trap();
  }
  auto image = std::make_unique<uint8_t[]>(info.biSizeImage);
  int32_t size = int32_t(info.biSizeImage);
  if (play.GetMpeg4Frame(image.get(), &size, nullptr) != int32_t(now)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  vexa::rtp::Mpeg4Depacketizer depacketizer(
      (options & kInterleaved) != 0 ? vexa::rtp::Road::Interleaved : vexa::rtp::Road::Udp);
  vexa::Mpeg4PlayThread play;
  bool configurationPending = (options & kStoredConfiguration) != 0;
  uint32_t decoded = 0;
  vexa::fuzz::forEachRecord({data + 1, size - 1}, kMaxPacketBytes, [&](vexa::fuzz::Bytes record) {
    if (configurationPending) {
      configurationPending = false;
      vexa::StreamConfig config;
      config.mpeg4ConfigLength = uint32_t(std::min(record.size(), config.mpeg4Config.size()));
      std::copy_n(record.begin(), config.mpeg4ConfigLength, config.mpeg4Config.begin());
      play.configure(config);
      return;
    }
    if (record.empty()) return;
    vexa::rtp::RtpPacket packet;
    packet.payloadType = vexa::rtp::kMpeg4PayloadType;
    packet.marker = (record[0] & kMarker) != 0;
    packet.payload = record.subspan(1);
    if (depacketizer.push(packet, (record[0] & kLossBefore) != 0) !=
        vexa::rtp::PushResult::kComplete) {
      return;
    }
    const std::span<const uint8_t> picture = depacketizer.completedUnit();
    if (picture.size() > vexa::rtp::Mpeg4Depacketizer::kMaxPictureBytes) __builtin_trap();
    play.handOff(picture);
    while (play.playNext()) {
    }
    checkPicture(play, decoded);
  });
  return 0;
}
