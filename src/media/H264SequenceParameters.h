#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexa {

// The picture size a sequence parameter set announces, in pixels (macroblocks x 16, cropping
// not applied).
struct SpsPictureSize {
  uint32_t width = 0;
  uint32_t height = 0;
  uint64_t pixels() const { return uint64_t(width) * height; }
  bool operator==(const SpsPictureSize&) const = default;
};

// Reads the size from an SPS NAL unit (its header byte first, emulation prevention bytes still
// in: ITU-T H.264 section 7.3.2.1.1). None when it ends before the size or a field is out of
// the standard's range.
std::optional<SpsPictureSize> readSpsPictureSize(std::span<const uint8_t> nal);

// The size of every SPS in an Annex B access unit, in order; none for one that cannot be read.
std::vector<std::optional<SpsPictureSize>> sequenceParameterSizes(std::span<const uint8_t> unit);

}  // namespace vexa
