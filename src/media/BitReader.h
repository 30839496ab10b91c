#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vexa {

// Most-significant-bit-first reads over a byte view. A read past the end yields 0 and marks the
// reader exhausted for good, so a header walk can read field after field and check once at the end
// that every field was really there; no byte outside the view is ever touched.
class BitReader {
 public:
  static constexpr int kMaxBitsPerRead = 32;

  explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  // The next count bits as an unsigned value; count is 0 to kMaxBitsPerRead.
  uint32_t read(int count) {
    if (exhausted_ || count < 0 || count > kMaxBitsPerRead || size_t(count) > bitsLeft()) {
      exhausted_ = true;
      return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++bitPosition_) {
      const uint8_t byte = bytes_[bitPosition_ / kBitsPerByte];
      const int shift = kBitsPerByte - 1 - int(bitPosition_ % kBitsPerByte);
      value = value << 1 | uint32_t(byte >> shift & 1);
    }
    return value;
  }
  bool flag() { return read(1) != 0; }
  void skip(int count) { read(count); }

  // False once any read ran past the end.
  bool ok() const { return !exhausted_; }

 private:
  static constexpr size_t kBitsPerByte = 8;

  size_t bitsLeft() const { return bytes_.size() * kBitsPerByte - bitPosition_; }

  std::span<const uint8_t> bytes_;
  size_t bitPosition_ = 0;
  bool exhausted_ = false;
};

}  // namespace vexa
