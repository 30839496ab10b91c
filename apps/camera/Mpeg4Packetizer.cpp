#include "camera/Mpeg4Packetizer.h"

#include <algorithm>

#include "media/Mpeg4Configuration.h"
#include "media/Mpeg4Picture.h"

namespace vexa::camera {

std::vector<uint8_t> mpeg4PictureAsSent(std::span<const uint8_t> encoded,
                                        std::span<const uint8_t> configuration,
                                        bool configurationInBand) {
  const std::optional<Mpeg4PictureLayout> layout = findMpeg4PictureLayout(encoded);
  if (!layout) return {};
  // A configuration the encoder repeated is dropped: only the option decides what goes in band.
  const size_t groupAt =
      findMpeg4StartCode(encoded, 0, kGroupOfVopCode, kGroupOfVopCode).value_or(layout->vop);
  const auto picture = encoded.subspan(std::min(groupAt, layout->vop));
  std::vector<uint8_t> bytes;
  // In band, the configuration goes in front of the group of VOPs header that opens an intra VOP,
  // as encoders that repeat it do.
  if (configurationInBand && layout->intra) {
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
