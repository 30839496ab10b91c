#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vexa::rtp {

// Big-endian reads over a byte view, each checking the length first. A read that does not fit
// returns false, leaves the output and the position alone, and the reader stays usable, so a parser
// can stop at the first failure without ever touching bytes outside the view.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t position() const { return position_; }
  size_t remaining() const { return bytes_.size() - position_; }
  bool empty() const { return remaining() == 0; }
  // The bytes not read yet.
  std::span<const uint8_t> rest() const { return bytes_.subspan(position_); }

  bool readU8(uint8_t& value) { return readBigEndian(1, value); }
  bool readU16(uint16_t& value) { return readBigEndian(2, value); }
  bool readU24(uint32_t& value) { return readBigEndian(3, value); }
  bool readU32(uint32_t& value) { return readBigEndian(4, value); }

  bool peekU8(uint8_t& value) const {
    if (empty()) return false;
    value = bytes_[position_];
    return true;
  }

  // The next count bytes as a view into the same storage.
  bool readBytes(size_t count, std::span<const uint8_t>& out) {
    if (count > remaining()) return false;
    out = bytes_.subspan(position_, count);
    position_ += count;
    return true;
  }

  bool skip(size_t count) {
    if (count > remaining()) return false;
    position_ += count;
    return true;
  }

 private:
  template <typename T>
  bool readBigEndian(size_t width, T& value) {
    if (width > remaining()) return false;
    T result = 0;
    for (size_t i = 0; i < width; ++i) result = T((result << 8) | bytes_[position_ + i]);
    value = result;
    position_ += width;
    return true;
  }

  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

}  // namespace vexa::rtp
