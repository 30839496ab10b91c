#include "camera/Mpeg4Packetizer.h"

#include <algorithm>

#include "camera/Mpeg4Encoder.h"

namespace vexa::camera {

std::vector<uint8_t> mpeg4PictureAsSent(std::span<const uint8_t> encoded,
                                        std::span<const uint8_t> configuration,
                                        bool configurationInBand) {
  const uint8_t vop[] = {mp4v::kVop};
  const size_t vopAt = mp4v::findStartCode(encoded, vop);
  if (vopAt == encoded.size()) return {};
  if (configurationInBand && mp4v::isIntraPicture(encoded)) {
    // Viewers that find a configuration in band look for the VOP right behind it, so the group
    // of VOPs header goes; whatever configuration the encoder repeated goes too.
    std::vector<uint8_t> bytes(configuration.begin(), configuration.end());
    bytes.insert(bytes.end(), encoded.begin() + std::ptrdiff_t(vopAt), encoded.end());
    return bytes;
  }
  // A configuration the encoder repeated is dropped: only the option decides what goes in band.
  const uint8_t pictureStarts[] = {mp4v::kGroupOfVops, mp4v::kVop};
  const auto picture = encoded.subspan(mp4v::findStartCode(encoded, pictureStarts));
  return {picture.begin(), picture.end()};
}

std::vector<RtpPayload> packetizeMpeg4(std::span<const uint8_t> picture, size_t maxPayloadSize) {
  std::vector<RtpPayload> out;
  if (maxPayloadSize == 0) return out;
  for (size_t at = 0; at < picture.size(); at += maxPayloadSize) {
    const auto piece = picture.subspan(at, std::min(maxPayloadSize, picture.size() - at));
    out.emplace_back(piece.begin(), piece.end());
  }
  return out;
}

}  // namespace vexa::camera
