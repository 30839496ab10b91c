#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string_view>

namespace vexa {

// Growable byte array used by every socket reader, payload assembler and picture queue. Grows to
// exactly what is asked and never shrinks while in use.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() { release(); }

  // Allocates exactly n bytes when n exceeds the capacity; false (buffer unchanged) when that fails.
  bool reserve(int32_t n);
  // One receive of at most n bytes appended at the end: receive(at, n) writes at most n bytes at
  // `at` and returns the count, below 1 for nothing. The count appended, 0 when nothing.
  template <typename Receive>
  int32_t receiveAppend(int32_t n, Receive&& receive) {
    if (n <= 0 || !reserve(size_ + n)) return 0;
    const ssize_t received = receive(data_ + size_, size_t(n));
    if (received < 1) return 0;
    size_ += int32_t(received);
    return int32_t(received);
  }
  // Copies n bytes to the end, keeping 8 spare bytes beyond them.
  bool append(const void* bytes, int32_t n);
  // Drops the first n bytes (clamped to the size).
  void eraseFront(int32_t n);
  void clear() { size_ = 0; }
  void release();

  int32_t size() const { return size_; }
  int32_t capacity() const { return capacity_; }
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  bool empty() const { return size_ == 0; }

  std::span<const uint8_t> bytes() const { return {data_, size_t(size_)}; }
  std::string_view text() const { return {reinterpret_cast<const char*>(data_), size_t(size_)}; }

 private:
  int32_t size_ = 0;
  uint8_t* data_ = nullptr;
  int32_t capacity_ = 0;
};

}  // namespace vexa
