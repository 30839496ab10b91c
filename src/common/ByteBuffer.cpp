#include "common/ByteBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vexa {

namespace {
constexpr int32_t kAppendSpareBytes = 8;
}

bool ByteBuffer::reserve(int32_t n) {
  if (n <= capacity_) return true;
  auto* block = static_cast<uint8_t*>(std::malloc(size_t(n)));
  if (block == nullptr) return false;
  if (size_ > 0) std::memcpy(block, data_, size_t(size_));
  std::free(data_);
  data_ = block;
  capacity_ = n;
  return true;
}

bool ByteBuffer::append(const void* bytes, int32_t n) {
  if (n < 0 || !reserve(size_ + n + kAppendSpareBytes)) return false;
  if (n > 0) std::memcpy(data_ + size_, bytes, size_t(n));
  size_ += n;
  return true;
}

void ByteBuffer::eraseFront(int32_t n) {
  if (n <= 0) return;
  if (n >= size_) {
    size_ = 0;
    return;
  }
  std::memmove(data_, data_ + n, size_t(size_ - n));
  size_ -= n;
}

void ByteBuffer::release() {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace vexa
