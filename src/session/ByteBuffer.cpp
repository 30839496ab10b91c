#include "session/ByteBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/Socket.h"

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

bool ByteBuffer::receiveAppend(platform::Socket& socket, int32_t n) {
  if (n <= 0 || !reserve(size_ + n)) return false;
  const ssize_t received = socket.receive(data_ + size_, size_t(n));
  if (received < 1) return false;
  size_ += int32_t(received);
  return true;
}

int32_t ByteBuffer::receiveFromAppend(platform::Socket& socket, int32_t n) {
  if (n <= 0 || !reserve(size_ + n)) return 0;
  const ssize_t received = socket.receiveFrom(data_ + size_, size_t(n));
  if (received < 1) return 0;
  size_ += int32_t(received);
  return int32_t(received);
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
