#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vexa {

// Copying a 3-byte BGR pixel as one 4-byte word is the fast path of every picture copy; the
// extra byte must still lie inside the source, or the last pixels would read past it.
constexpr size_t kWideLoadBytes = 4;

// True when a 4-byte load at offset stays inside a buffer of size bytes (and the host's byte
// order puts B, G, R in the low three bytes).
constexpr bool wideLoadFits(size_t offset, size_t size) {
  return std::endian::native == std::endian::little && offset + kWideLoadBytes <= size;
}

inline uint32_t loadWide(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace vexa
