#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vexa::camera {

using RtpPayload = std::vector<uint8_t>;

// The bytes sent for one encoded picture: from its first group of VOPs or VOP start code on; or,
// when configurationInBand and the picture is intra, the configuration in front of them, so that
// a viewer that missed the session description can start there. Empty without a VOP.
std::vector<uint8_t> mpeg4PictureAsSent(std::span<const uint8_t> encoded,
                                        std::span<const uint8_t> configuration,
                                        bool configurationInBand);

// RFC 3016 section 3.2: one picture cut into payloads of at most maxPayloadSize bytes, in order;
// the last one ends the picture. Empty for an empty picture or no room.
std::vector<RtpPayload> packetizeMpeg4(std::span<const uint8_t> picture, size_t maxPayloadSize);

}  // namespace vexa::camera
