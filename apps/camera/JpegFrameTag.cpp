#include "camera/JpegFrameTag.h"

#include <charconv>
#include <string>
#include <string_view>

namespace vexa::camera {
namespace {

constexpr std::string_view kTagPrefix = "vexa-camera frame ";
constexpr uint8_t kMarkerLead = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kComment = 0xFE;
constexpr size_t kMarkerSize = 2;
constexpr size_t kLengthSize = 2;

bool startsAsJpeg(std::span<const uint8_t> jpeg) {
  return jpeg.size() >= kMarkerSize && jpeg[0] == kMarkerLead && jpeg[1] == kStartOfImage;
}

// Length field of the segment at offset (it counts itself, not the marker); 0 when it is cut off.
size_t segmentLength(std::span<const uint8_t> jpeg, size_t offset) {
  if (offset + kMarkerSize + kLengthSize > jpeg.size()) return 0;
  const size_t length = size_t(jpeg[offset + 2]) << 8 | jpeg[offset + 3];
  if (length < kLengthSize || offset + kMarkerSize + length > jpeg.size()) return 0;
  return length;
}

}  // namespace

void tagFrameIndex(std::vector<uint8_t>& jpeg, uint32_t index) {
  if (!startsAsJpeg(jpeg)) return;
  size_t at = kMarkerSize;
  if (at + 1 < jpeg.size() && jpeg[at] == kMarkerLead && jpeg[at + 1] == kApp0) {
    const size_t length = segmentLength(jpeg, at);
    if (length == 0) return;
    at += kMarkerSize + length;
  }
  const std::string text = std::string(kTagPrefix) + std::to_string(index);
  const size_t length = kLengthSize + text.size();
  std::vector<uint8_t> segment = {kMarkerLead, kComment, uint8_t(length >> 8), uint8_t(length)};
  segment.insert(segment.end(), text.begin(), text.end());
  jpeg.insert(jpeg.begin() + std::ptrdiff_t(at), segment.begin(), segment.end());
}

std::optional<uint32_t> taggedFrameIndex(std::span<const uint8_t> jpeg) {
  if (!startsAsJpeg(jpeg)) return std::nullopt;
  size_t at = kMarkerSize;
  while (at + kMarkerSize <= jpeg.size() && jpeg[at] == kMarkerLead) {
    const uint8_t marker = jpeg[at + 1];
    if (marker == kStartOfScan || marker == kEndOfImage) break;
    const size_t length = segmentLength(jpeg, at);
    if (length == 0) break;
    const auto* payload =
        reinterpret_cast<const char*>(jpeg.data() + at + kMarkerSize + kLengthSize);
    const std::string_view text(payload, length - kLengthSize);
    if (marker == kComment && text.starts_with(kTagPrefix)) {
      uint32_t index = 0;
      const char* end = text.data() + text.size();
      const auto [next, error] = std::from_chars(text.data() + kTagPrefix.size(), end, index);
      if (error == std::errc() && next == end) return index;
      return std::nullopt;
    }
    at += kMarkerSize + length;
  }
  return std::nullopt;
}

}  // namespace vexa::camera
