#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "media/PictureFormat.h"

namespace vexa {

// MPEG-4 visual start codes: the prefix 00 00 01, then one code byte.
constexpr size_t kMpeg4StartCodeSize = 4;
constexpr uint8_t kVisualObjectSequenceCode = 0xB0;
constexpr uint8_t kGroupOfVopCode = 0xB3;
constexpr uint8_t kVopCode = 0xB6;
// A video object layer start code carries the layer's number in its low four bits.
constexpr uint8_t kFirstVideoObjectLayerCode = 0x20;
constexpr uint8_t kLastVideoObjectLayerCode = 0x2F;

// The position of the first whole start code at or after from whose code byte lies in
// [lowestCode, highestCode]; nullopt when there is none.
std::optional<size_t> findMpeg4StartCode(std::span<const uint8_t> bytes, size_t from,
                                         uint8_t lowestCode, uint8_t highestCode);

// The picture size from the video object layer header in a decoder configuration (the bytes of an
// RFC 3016 "config" value). The layer's start code is searched for, since senders put different
// headers ahead of it. nullopt when there is no such header, it ends before the height, its shape
// is not rectangular or it gives a zero width or height.
std::optional<PictureSize> readMpeg4PictureSize(std::span<const uint8_t> configuration);

}  // namespace vexa
