// What the targets share: cutting their input the way the network does (a connection's bytes in
// reads of a chosen size, datagrams or packets as records behind a length) and the checks of
// what comes out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/StreamConfig.h"

namespace vexa::fuzz {

using Bytes = std::span<const uint8_t>;

// A read size from one input byte: 1 to 2033 bytes, the small ones (which split everything) most
// often. A worker's read step takes 2048 bytes at most.
inline size_t readSize(uint8_t choice) { return 1 + size_t(choice) * choice / 32; }

// take(read) on consecutive reads of at most readBytes bytes, until the input ends or take
// returns false (the connection was given up).
template <typename Take>
void forEachRead(Bytes input, size_t readBytes, Take&& take) {
  while (!input.empty()) {
    const size_t n = std::min(input.size(), readBytes);
    if (!take(input.first(n))) return;
    input = input.subspan(n);
  }
}

// Records of a 16-bit big-endian length and that many bytes, the last one cut at the end of
// input and each at most maxBytes (what one receive takes): take(record).
template <typename Take>
void forEachRecord(Bytes input, size_t maxBytes, Take&& take) {
  constexpr size_t kLengthSize = 2;
  while (input.size() >= kLengthSize) {
    const size_t declared = size_t(input[0]) << 8 | input[1];
    input = input.subspan(kLengthSize);
    const size_t length = std::min(declared, input.size());
    take(input.first(std::min(length, maxBytes)));
    input = input.subspan(length);
  }
}

// A whole JPEG picture within the cap: start and end of image, nothing shorter.
inline bool isWholeJpeg(Bytes picture, size_t maxBytes) {
  const size_t n = picture.size();
  return n >= 4 && n <= maxBytes && picture[0] == 0xFF && picture[1] == 0xD8 &&
         picture[n - 2] == 0xFF && picture[n - 1] == 0xD9;
}

// The picture a JPEG source offers through GetJpegFrame is a whole one within the cap, or none.
template <typename Source>
bool offersWholeJpegOrNone(const Source& source, size_t maxBytes) {
  const uint8_t* picture = nullptr;
  int32_t length = 0;
  source.GetJpegFrame(&picture, &length);
  return length <= 0 || isWholeJpeg({picture, size_t(length)}, maxBytes);
}

// A configuration whose description carried H.264 parameter sets.
inline StreamConfig withParameterSets() {
  StreamConfig config;
  config.sps = {0x67, 0x42, 0x00, 0x1F};
  config.spsLength = 4;
  config.pps = {0x68, 0xCE, 0x3C, 0x80};
  config.ppsLength = 4;
  return config;
}

}  // namespace vexa::fuzz
