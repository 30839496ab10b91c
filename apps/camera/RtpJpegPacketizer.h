#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexa::camera {

// What RFC 2435 carries of a baseline JPEG: its type, size, quantisation tables and scan data.
struct RtpJpegPicture {
  static constexpr int kMaxSide = 2040;   // 255 units of 8 pixels
  static constexpr uint8_t kType422 = 0;  // luma sampled 2x1
  static constexpr uint8_t kType420 = 1;  // luma sampled 2x2

  uint8_t type = kType420;
  int width = 0;
  int height = 0;
  std::array<uint8_t, 64> lumaTable{};    // zigzag order, as in the DQT segment
  std::array<uint8_t, 64> chromaTable{};  // shared by both chroma components
  std::span<const uint8_t> scan;          // entropy-coded data, without the EOI marker
};

// Reads the headers of a JPEG up to its scan. Nullopt unless it is 8-bit baseline YCbCr with
// 2x2 or 2x1 luma sampling, 8-bit tables, one table for both chroma components, no restart
// interval, and a size in whole units of 8 up to 2040. The scan view points into jpeg.
std::optional<RtpJpegPicture> parseJpegForRtp(std::span<const uint8_t> jpeg);

// The RTP payloads of one picture: each an 8-byte main header with the fragment offset, Q 255
// and the size in units of 8; the first also the two quantisation tables. The picture is known
// to the receiver by the marker on the last one.
std::vector<std::vector<uint8_t>> packetizeJpeg(const RtpJpegPicture& picture,
                                                size_t maxPayloadSize);

}  // namespace vexa::camera
