#include "camera/Mpeg4Packetizer.h"

#include <algorithm>

#include "camera/Mpeg4Encoder.h"

namespace vexa::camera {

std::vector<uint8_t> mpeg4PictureAsSent(std::span<const uint8_t> encoded,
                                        std::span<const uint8_t> configuration,
                                        bool configurationInBand) {
  const uint8_t vop[] = {mp4v::kVop};
  if (mp4v::findStartCode(encoded, vop) == encoded.size()) return {};
  // A configuration the encoder repeated is dropped: only the option decides what goes in band.
  const uint8_t pictureStarts[] = {mp4v::kGroupOfVops, mp4v::kVop};
  const auto picture = encoded.subspan(mp4v::findStartCode(encoded, pictureStarts));
  std::vector<uint8_t> bytes;
  // In band, the configuration goes in front of the group of VOPs header that opens an intra VOP,
  // as encoders that repeat it do.
  if (configurationInBand && mp4v::isIntraPicture(encoded)) {
    bytes.assign(configuration.begin(), configuration.end());
  }
  bytes.insert(bytes.end(), picture.begin(), picture.end());
  return bytes;
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
