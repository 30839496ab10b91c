#include "media/Mpeg4Configuration.h"

#include <array>
#include <bit>

#include "media/BitReader.h"

namespace vexa {

namespace {

constexpr std::array<uint8_t, 3> kStartCodePrefix = {0x00, 0x00, 0x01};

// Field widths of the video object layer header (ISO/IEC 14496-2 6.2.3), in the order they come.
constexpr int kRandomAccessibleBits = 1;
constexpr int kObjectTypeBits = 8;
constexpr int kVeridBits = 4;
constexpr int kPriorityBits = 3;
constexpr int kAspectRatioBits = 4;
constexpr uint32_t kExtendedPar = 15;
constexpr int kParFieldBits = 8;
constexpr int kChromaFormatBits = 2;
constexpr int kLowDelayBits = 1;
// Bit rate, buffer size and occupancy, each cut in two halves, with their markers.
constexpr std::array<int, 11> kVbvFieldBits = {15, 1, 15, 1, 15, 1, 3, 11, 1, 15, 1};
constexpr int kShapeBits = 2;
constexpr uint32_t kRectangularShape = 0;
constexpr int kMarkerBits = 1;
constexpr int kTimeResolutionBits = 16;
constexpr int kDimensionBits = 13;

bool isStartCodeAt(std::span<const uint8_t> bytes, size_t at, uint8_t lowestCode,
                   uint8_t highestCode) {
  for (size_t i = 0; i < kStartCodePrefix.size(); ++i) {
    if (bytes[at + i] != kStartCodePrefix[i]) return false;
  }
  const uint8_t code = bytes[at + kStartCodePrefix.size()];
  return code >= lowestCode && code <= highestCode;
}

// fixed_vop_time_increment takes as many bits as a value below the resolution needs, at least one.
int timeIncrementBits(uint32_t resolution) {
  return resolution <= 1 ? 1 : std::bit_width(resolution - 1);
}

// Walks the header after its start code up to the shape; false when the shape is not
// rectangular, since only a rectangular layer states its size.
bool skipToRectangularSize(BitReader& bits) {
  bits.skip(kRandomAccessibleBits + kObjectTypeBits);
  if (bits.flag()) bits.skip(kVeridBits + kPriorityBits);
  if (bits.read(kAspectRatioBits) == kExtendedPar) bits.skip(2 * kParFieldBits);
  if (bits.flag()) {
    bits.skip(kChromaFormatBits + kLowDelayBits);
    if (bits.flag()) {
      for (const int width : kVbvFieldBits) bits.skip(width);
    }
  }
  // A grey-scale shape's extension bits are not walked: no size follows any other shape.
  if (bits.read(kShapeBits) != kRectangularShape) return false;
  bits.skip(kMarkerBits);
  const uint32_t resolution = bits.read(kTimeResolutionBits);
  bits.skip(kMarkerBits);
  if (bits.flag()) bits.skip(timeIncrementBits(resolution));
  return bits.ok();
}

}  // namespace

std::optional<size_t> findMpeg4StartCode(std::span<const uint8_t> bytes, size_t from,
                                         uint8_t lowestCode, uint8_t highestCode) {
  for (size_t at = from; at + kMpeg4StartCodeSize <= bytes.size(); ++at) {
    if (isStartCodeAt(bytes, at, lowestCode, highestCode)) return at;
  }
  return std::nullopt;
}

std::optional<PictureSize> readMpeg4PictureSize(std::span<const uint8_t> configuration) {
  const std::optional<size_t> layer =
      findMpeg4StartCode(configuration, 0, kFirstVideoObjectLayerCode, kLastVideoObjectLayerCode);
  if (!layer) return std::nullopt;
  BitReader bits(configuration.subspan(*layer + kMpeg4StartCodeSize));
  if (!skipToRectangularSize(bits)) return std::nullopt;
  // Markers are not checked: a sender that gets them wrong still states its size.
  bits.skip(kMarkerBits);
  const uint32_t width = bits.read(kDimensionBits);
  bits.skip(kMarkerBits);
  const uint32_t height = bits.read(kDimensionBits);
  if (!bits.ok() || width == 0 || height == 0) return std::nullopt;
  return PictureSize{width, height};
}

}  // namespace vexa
