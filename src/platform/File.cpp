#include "platform/File.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vexa::platform {

PosixFile::PosixFile(size_t bufferBytes) : buffer_(std::max<size_t>(bufferBytes, 1)) {}

PosixFile::~PosixFile() {
  close();
}

int PosixFile::open(const std::string& path) {
  close();
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) return errno;
  descriptor_ = descriptor;
  buffered_ = 0;
  flushedSize_ = 0;
  return 0;
}

int PosixFile::append(std::span<const uint8_t> bytes) {
  if (!isOpen()) return EBADF;
  // A repeated picture's chunk has no data, and an empty span may have no address.
  if (bytes.empty()) return 0;
  if (bytes.size() > buffer_.size() - buffered_) {
    if (const int error = flush()) return error;
    // Larger than the whole buffer: straight to the file, no copy.
    if (bytes.size() >= buffer_.size()) return writeAll(flushedSize_, bytes);
  }
  std::memcpy(buffer_.data() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
  return 0;
}

// What could not be written is dropped: the caller learns of the failure and decides what the
// file keeps, from flushedSize().
int PosixFile::flush() {
  if (!isOpen()) return EBADF;
  const size_t pending = buffered_;
  buffered_ = 0;
  return pending == 0 ? 0 : writeAll(flushedSize_, {buffer_.data(), pending});
}

int PosixFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (const int error = flush()) return error;
  return writeAll(offset, bytes);
}

// A failed flush has dropped its bytes already, so the cut still happens.
int PosixFile::truncate(uint64_t size) {
  if (!isOpen()) return EBADF;
  flush();
  while (::ftruncate(descriptor_, off_t(size)) != 0) {
    if (errno != EINTR) return errno;
  }
  flushedSize_ = size;
  return 0;
}

int PosixFile::close() {
  if (!isOpen()) return 0;
  const int flushError = flush();
  const int closeError = ::close(descriptor_) == 0 ? 0 : errno;
  descriptor_ = -1;
  return flushError != 0 ? flushError : closeError;
}

int PosixFile::writeAll(uint64_t offset, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(descriptor_, bytes.data(), bytes.size(), off_t(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;  // a short write the system gave no reason for
    offset += uint64_t(written);
    flushedSize_ = std::max(flushedSize_, offset);
    bytes = bytes.subspan(size_t(written));
  }
  return 0;
}

}  // namespace vexa::platform
